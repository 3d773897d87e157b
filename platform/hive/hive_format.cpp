#include "platform/hive/hive_format.h"

#include <cstdio>
#include <vector>

namespace varnoke::platform {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
    text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
    text.remove_suffix(1);
  return text;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if ((text[i] | 0x20) != (prefix[i] | 0x20)) return false;
  }
  return true;
}

class TParser {
 public:
  TParser(std::string_view text, THiveContents& contents, THiveParseError& error)
      : contents_(contents), error_(error) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::size_t begin = 0;
    while (begin < text.size()) {
      std::size_t end = text.find('\n', begin);
      if (end == std::string_view::npos) end = text.size();
      std::string_view line = text.substr(begin, end - begin);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      lines_.push_back(line);
      begin = end + 1;
    }
  }

  bool Run() {
    std::size_t i = 0;
    while (i < lines_.size() && Trim(lines_[i]).empty())
      ++i;
    if (i == lines_.size()) return true;  // nothing at all: an empty hive
    if (Trim(lines_[i]) != "REGEDIT4") return Fail(i, "the first line is not REGEDIT4");
    for (++i; i < lines_.size(); ++i) {
      const std::string_view line = Trim(lines_[i]);
      if (line.empty() || line.front() == ';') continue;
      if (line.front() == '[') {
        if (!ParseKey(i, line)) return false;
      } else if (line.front() == '"' || line.front() == '@') {
        if (!ParseValue(i, line)) return false;
      } else {
        return Fail(i, "this line is neither a key nor a value");
      }
    }
    return true;
  }

 private:
  bool Fail(std::size_t line, std::string reason) {
    error_.Line = static_cast<int>(line) + 1;
    error_.Reason = std::move(reason);
    return false;
  }

  bool ParseKey(std::size_t i, std::string_view line) {
    if (line.back() != ']') return Fail(i, "a key name is missing its closing ]");
    const std::string_view path = Trim(line.substr(1, line.size() - 2));
    if (path.empty()) return Fail(i, "a key has no name");
    if (path.front() == '-')
      return Fail(i, "a line removes a key, which a settings file cannot do");
    key_ = &contents_.FindOrAdd(path);
    return true;
  }

  // Reads a quoted text starting at text[0] == '"'; rest is what follows it.
  static bool ReadQuoted(std::string_view text, std::string& out, std::string_view& rest) {
    out.clear();
    for (std::size_t i = 1; i < text.size(); ++i) {
      const char c = text[i];
      if (c == '"') {
        rest = text.substr(i + 1);
        return true;
      }
      if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) {
        out.push_back(text[++i]);
      } else {
        out.push_back(c);
      }
    }
    return false;
  }

  bool ParseValue(std::size_t& i, std::string_view line) {
    if (key_ == nullptr) return Fail(i, "a value stands before any key");
    std::string name;
    std::string_view rest;
    if (line.front() == '@') {
      rest = line.substr(1);
    } else if (!ReadQuoted(line, name, rest)) {
      return Fail(i, "a value name is missing its closing quote");
    }
    rest = Trim(rest);
    if (rest.empty() || rest.front() != '=') return Fail(i, "an = is missing after the value name");
    const std::string_view data = Trim(rest.substr(1));

    if (!data.empty() && data.front() == '"') {
      std::string text;
      std::string_view after;
      if (!ReadQuoted(data, text, after)) return Fail(i, "a text is missing its closing quote");
      if (!Trim(after).empty()) return Fail(i, "something follows the closing quote of a text");
      key_->Set(name, kRegSz, StringData(text));
      return true;
    }
    if (StartsWithNoCase(data, "dword:")) {
      const std::string_view digits = Trim(data.substr(6));
      if (digits.empty() || digits.size() > 8)
        return Fail(i, "a dword needs 1 to 8 hexadecimal digits");
      std::uint32_t value = 0;
      for (const char c : digits) {
        const int d = HexDigit(c);
        if (d < 0) return Fail(i, "a dword needs 1 to 8 hexadecimal digits");
        value = value << 4 | static_cast<std::uint32_t>(d);
      }
      key_->Set(name, kRegDword, DwordData(value));
      return true;
    }
    if (StartsWithNoCase(data, "hex")) return ParseBytes(i, name, data.substr(3));
    if (data == "-") return Fail(i, "a line removes a value, which a settings file cannot do");
    return Fail(i, "a value is neither a text, a dword nor a byte list");
  }

  // A byte list after "hex": ":" or "(N):", then bytes, perhaps going on
  // over the following lines.
  bool ParseBytes(std::size_t& i, const std::string& name, std::string_view rest) {
    std::uint32_t type = kRegBinary;
    if (!rest.empty() && rest.front() == '(') {
      const std::size_t close = rest.find(')');
      if (close == std::string_view::npos || close == 1 || close > 9) {
        return Fail(i, "a byte list has a malformed type number");
      }
      type = 0;
      for (const char c : rest.substr(1, close - 1)) {
        const int d = HexDigit(c);
        if (d < 0) return Fail(i, "a byte list has a malformed type number");
        type = type << 4 | static_cast<std::uint32_t>(d);
      }
      rest.remove_prefix(close + 1);
    }
    if (rest.empty() || rest.front() != ':') return Fail(i, "a byte list is missing its colon");
    rest.remove_prefix(1);
    std::vector<std::uint8_t> bytes;
    for (;;) {
      std::string_view piece = Trim(rest);
      const bool more = !piece.empty() && piece.back() == '\\';
      if (more) piece = Trim(piece.substr(0, piece.size() - 1));
      if (!ReadByteList(piece, bytes)) {
        return Fail(i, "a byte list holds something other than two-digit hexadecimal bytes");
      }
      if (!more) break;
      if (++i == lines_.size()) return Fail(i - 1, "the file ends in the middle of a byte list");
      rest = lines_[i];
    }
    key_->Set(name, type, std::move(bytes));
    return true;
  }

  // "01,02,ff": two-digit bytes between commas; a trailing comma is allowed
  // (regedit writes one before each continuation).
  static bool ReadByteList(std::string_view list, std::vector<std::uint8_t>& bytes) {
    if (Trim(list).empty()) return true;
    std::size_t begin = 0;
    for (;;) {
      const std::size_t comma = list.find(',', begin);
      const bool last = comma == std::string_view::npos;
      const std::string_view item =
          Trim(list.substr(begin, last ? std::string_view::npos : comma - begin));
      if (item.empty()) return last && begin > 0;
      if (item.size() != 2 || HexDigit(item[0]) < 0 || HexDigit(item[1]) < 0) return false;
      bytes.push_back(static_cast<std::uint8_t>(HexDigit(item[0]) << 4 | HexDigit(item[1])));
      if (last) return true;
      begin = comma + 1;
    }
  }

  THiveContents& contents_;
  THiveParseError& error_;
  std::vector<std::string_view> lines_;
  TRegKey* key_ = nullptr;
};

void AppendQuoted(std::string& out, std::string_view text) {
  out.push_back('"');
  for (const char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
}

// A REG_SZ that can be written as a quoted text: one NUL, at the end, and no
// line breaks.
bool QuotableText(const TRegValue& value) {
  if (value.Type != kRegSz || value.Data.empty() || value.Data.back() != 0) return false;
  for (std::size_t i = 0; i + 1 < value.Data.size(); ++i) {
    const auto c = value.Data[i];
    if (c == 0 || c == '\n' || c == '\r') return false;
  }
  return true;
}

void AppendBytes(std::string& out, const std::vector<std::uint8_t>& data) {
  char hex[4];
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (i > 0) out.push_back(',');
    // Long lists go on over several lines, as regedit writes them.
    if (i > 0 && i % 24 == 0) out.append("\\\n  ");
    std::snprintf(hex, sizeof hex, "%02x", data[i]);
    out.append(hex, 2);
  }
}

}  // namespace

bool ParseHive(std::string_view text, THiveContents& contents, THiveParseError& error) {
  THiveContents parsed;
  TParser parser(text, parsed, error);
  if (!parser.Run()) return false;
  contents = std::move(parsed);
  return true;
}

std::string FormatHive(const THiveContents& contents) {
  std::string out = "REGEDIT4\n";
  for (const TRegKey& key : contents.Keys) {
    out.append("\n[").append(key.Path).append("]\n");
    for (const TRegValue& value : key.Values) {
      if (value.Name.empty()) {
        out.push_back('@');
      } else {
        AppendQuoted(out, value.Name);
      }
      out.push_back('=');
      if (QuotableText(value)) {
        AppendQuoted(out, std::string_view(reinterpret_cast<const char*>(value.Data.data()),
                                           value.Data.size() - 1));
      } else if (value.Type == kRegDword && value.Data.size() == 4) {
        char digits[16];
        const std::uint32_t number = value.Data[0] | value.Data[1] << 8 | value.Data[2] << 16 |
                                     static_cast<std::uint32_t>(value.Data[3]) << 24;
        std::snprintf(digits, sizeof digits, "dword:%08x", number);
        out.append(digits);
      } else {
        if (value.Type == kRegBinary) {
          out.append("hex:");
        } else {
          char type[24];
          std::snprintf(type, sizeof type, "hex(%x):", value.Type);
          out.append(type);
        }
        AppendBytes(out, value.Data);
      }
      out.push_back('\n');
    }
  }
  return out;
}

}  // namespace varnoke::platform
