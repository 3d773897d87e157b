#include "live/live_protocol.h"

#include <cstdio>
#include <cstring>

#include "db/crc32.h"
#include "platform/runtime/runtime_folder.h"

namespace varnoke::live {

std::string LiveSocketName(std::string_view hivePath) {
  std::string problem;
  const std::optional<std::string> folder = platform::PrivateRuntimeFolder(problem);
  if (!folder) return {};
  char tag[16];
  std::snprintf(tag, sizeof tag, "-%08x",
                static_cast<unsigned>(StreamCRC32(hivePath.data(), hivePath.size())));
  return *folder + "/Varnoke96.find" + tag;
}

void PutU32(std::string& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::uint32_t GetU32(const char* in) noexcept {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i)
    value = (value << 8) | static_cast<unsigned char>(in[i]);
  return value;
}

std::uint64_t GetU64(const char* in) noexcept {
  return static_cast<std::uint64_t>(GetU32(in)) |
         (static_cast<std::uint64_t>(GetU32(in + 4)) << 32);
}

std::string EncodeRequest(const TLiveRequest& request) {
  std::string frame(kRequestMagic, sizeof kRequestMagic);
  PutU32(frame, static_cast<std::uint32_t>(3 + request.Pattern.size()));
  frame.push_back(static_cast<char>(kProtocolVersion));
  frame.push_back(static_cast<char>(request.Order));
  frame.push_back(static_cast<char>((request.CountOnly ? 1 : 0) | (request.WithTwins ? 2 : 0) |
                                    (request.TellMissingFolder ? 4 : 0)));
  frame += request.Pattern;
  return frame;
}

std::optional<std::size_t> RequestBodyLength(std::string_view header) {
  if (header.size() != kRequestHeaderBytes ||
      std::memcmp(header.data(), kRequestMagic, sizeof kRequestMagic) != 0)
    return std::nullopt;
  const std::size_t length = GetU32(header.data() + 4);
  if (length < 3 || length > kMaxRequestBody) return std::nullopt;
  return length;
}

std::optional<TLiveRequest> DecodeRequestBody(std::string_view body, std::string& problem) {
  if (body.size() < 3) {
    problem = "the request is too short";
    return std::nullopt;
  }
  if (static_cast<std::uint8_t>(body[0]) != kProtocolVersion) {
    problem = "the request's version is not understood";
    return std::nullopt;
  }
  const auto order = static_cast<std::uint8_t>(body[1]);
  if (order > static_cast<std::uint8_t>(TLiveOrder::Path)) {
    problem = "the request asks for an unknown order";
    return std::nullopt;
  }
  const auto flags = static_cast<std::uint8_t>(body[2]);
  if ((flags & ~7u) != 0) {
    problem = "the request has unknown flags";
    return std::nullopt;
  }
  const std::string_view pattern = body.substr(3);
  if (pattern.empty() || pattern.size() > kMaxPatternBytes) {
    problem = "the pattern is empty or too long";
    return std::nullopt;
  }
  if (pattern.find('\0') != std::string_view::npos) {
    problem = "the pattern holds a NUL character";
    return std::nullopt;
  }
  TLiveRequest request;
  request.Pattern = std::string(pattern);
  request.Order = static_cast<TLiveOrder>(order);
  request.CountOnly = (flags & 1u) != 0;
  request.WithTwins = (flags & 2u) != 0;
  request.TellMissingFolder = (flags & 4u) != 0;
  return request;
}

std::string EncodeTwins(const std::vector<std::uint32_t>& ordinals, bool isDirectory,
                        std::uint32_t soleName) {
  if (ordinals.empty()) return {};
  std::string text(1, isDirectory ? 'd' : 'f');
  for (std::size_t i = 0; i < ordinals.size(); ++i) {
    if (i > 0) text.push_back(',');
    text += ordinals[i] == soleName ? std::string("s") : std::to_string(ordinals[i]);
  }
  return text;
}

bool DecodeTwins(std::string_view text, std::uint32_t soleName,
                 std::vector<std::uint32_t>& ordinals, bool& isDirectory) {
  ordinals.clear();
  if (text.size() < 2 || (text[0] != 'd' && text[0] != 'f')) return false;
  isDirectory = text[0] == 'd';
  std::size_t at = 1;
  while (at <= text.size()) {
    std::size_t comma = text.find(',', at);
    if (comma == std::string_view::npos) comma = text.size();
    const std::string_view part = text.substr(at, comma - at);
    if (part == "s") {
      ordinals.push_back(soleName);
    } else {
      if (part.empty() || part.size() > 9) return false;
      std::uint32_t value = 0;
      for (const char c : part) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
      }
      ordinals.push_back(value);
    }
    at = comma + 1;
  }
  return true;
}

std::string AnswerHeader(char kind, std::size_t size) {
  std::string header(1, kind);
  PutU32(header, static_cast<std::uint32_t>(size));
  return header;
}

std::string EndFrame(std::uint64_t rows) {
  std::string frame = AnswerHeader(kEndFrame, 8);
  PutU32(frame, static_cast<std::uint32_t>(rows & 0xFFFFFFFFu));
  PutU32(frame, static_cast<std::uint32_t>(rows >> 32));
  return frame;
}

}  // namespace varnoke::live
