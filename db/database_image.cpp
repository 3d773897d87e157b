#include "db/database_image.h"

#include <cstring>
#include <exception>
#include <limits>
#include <span>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/large_memory.h"

namespace varnoke {
namespace {

constexpr std::size_t kInt32Max = std::numeric_limits<std::int32_t>::max();

// Writes value as a 32-bit little-endian integer at out.
void StoreInt32(char* out, std::size_t value) noexcept {
  const auto v = static_cast<std::uint32_t>(value);
  const char bytes[4] = {static_cast<char>(v), static_cast<char>(v >> 8),
                         static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
  std::memcpy(out, bytes, 4);
}

// A cursor over the image that never reads past its end.
class TImageReader {
 public:
  TImageReader(const std::uint8_t* data, std::size_t size, std::size_t position = 0)
      : data_(data), size_(size), position_(position < size ? position : size) {}

  std::size_t Position() const noexcept { return position_; }
  std::size_t Remaining() const noexcept { return size_ - position_; }

  bool ReadInt32(std::int32_t& value) noexcept {
    if (Remaining() < 4) return false;
    const std::uint8_t* p = data_ + position_;
    value = static_cast<std::int32_t>(p[0] | p[1] << 8 | p[2] << 16 |
                                      static_cast<std::uint32_t>(p[3]) << 24);
    position_ += 4;
    return true;
  }

  // A name: its length, then its bytes.
  bool ReadName(std::string_view& name) noexcept {
    std::int32_t length = 0;
    if (!ReadInt32(length) || length < 1 || length > kMaxImageNameLength ||
        static_cast<std::size_t>(length) > Remaining()) {
      return false;
    }
    name = std::string_view(reinterpret_cast<const char*>(data_ + position_),
                            static_cast<std::size_t>(length));
    position_ += static_cast<std::size_t>(length);
    return !HoldsForbidden(name);
  }

 private:
  // Whether name holds a NUL or a "\". Sixteen bytes at a time, the last
  // step reading past the name where the image goes on that far.
  bool HoldsForbidden(std::string_view name) const noexcept {
    const char* p = name.data();
    std::size_t left = name.size();
#if defined(__SSE2__)
    const auto* end = reinterpret_cast<const char*>(data_ + size_);
    const __m128i nul = _mm_setzero_si128();
    const __m128i backslash = _mm_set1_epi8('\\');
    while (left > 0 && end - p >= 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      auto hits = static_cast<unsigned>(_mm_movemask_epi8(
          _mm_or_si128(_mm_cmpeq_epi8(bytes, nul), _mm_cmpeq_epi8(bytes, backslash))));
      if (left < 16) hits &= (1u << left) - 1;
      if (hits != 0) return true;
      const std::size_t step = left < 16 ? left : 16;
      p += step;
      left -= step;
    }
#endif
    for (; left > 0; ++p, --left) {
      if (*p == '\0' || *p == '\\') return true;
    }
    return false;
  }

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t position_ = 0;
};

}  // namespace

namespace {

// Gathers the image in a buffer of its own and hands it on whenever the
// buffer is full. The buffer is mapped once per image: a few huge pages
// rather than a copy of the whole file.
class TPartWriter {
 public:
  explicit TPartWriter(const TImageSink& sink)
      : sink_(sink), buffer_(static_cast<char*>(platform::MapLarge(kPartSize))) {}
  ~TPartWriter() { platform::UnmapLarge(buffer_, kPartSize); }
  TPartWriter(const TPartWriter&) = delete;
  TPartWriter& operator=(const TPartWriter&) = delete;

  // False once the sink has refused a part.
  bool Ok() const noexcept { return ok_; }

  void PutInt32(std::size_t value) {
    if (kPartSize - used_ < 4) Flush();
    StoreInt32(buffer_ + used_, value);
    used_ += 4;
  }

  // A name: its length, then its bytes.
  void PutName(const char* name, std::size_t length) {
    if (kPartSize - used_ < 4 + length) {
      Flush();
      if (kPartSize < 4 + length) {  // longer than any name on a disk
        PutInt32(length);
        Flush();
        Hand({name, length});
        return;
      }
    }
    StoreInt32(buffer_ + used_, length);
    std::memcpy(buffer_ + used_ + 4, name, length);
    used_ += 4 + length;
  }

  void Flush() {
    Hand({buffer_, used_});
    used_ = 0;
  }

 private:
  static constexpr std::size_t kPartSize = std::size_t{4} << 20;

  void Hand(std::string_view part) {
    if (ok_ && !part.empty()) ok_ = sink_(part);
  }

  const TImageSink& sink_;
  char* buffer_;
  std::size_t used_ = 0;
  bool ok_ = true;
};

}  // namespace

TEncodeOutcome EncodeTree(const TDDList& list, const TImageSink& sink) {
  // Neither count can then overflow; no tree that fits in memory comes near.
  if (list.DirectoryCount() > kInt32Max || list.FileCount() > kInt32Max) {
    return TEncodeOutcome::TooLarge;
  }
  // Positions by record, numbered in place: linear, and without a map.
  list.NumberChain();
  TPartWriter out(sink);
  out.PutInt32(list.DirectoryCount());
  for (const TDirectoryRecord* d = list.FirstDirectory(); d != nullptr && out.Ok(); d = d->Next()) {
    if (d->Name().size() > kInt32Max) return TEncodeOutcome::TooLarge;
    out.PutName(d->NameAddress(), d->Name().size());
    out.PutInt32(d->Parent() == nullptr ? 0 : TDDList::ChainPosition(d->Parent()));
    // The count goes before the names: the chain is walked twice, while
    // it is in the cache.
    std::size_t files = 0;
    for (const TFileEntry* e = d->Files(); e != nullptr; e = e->Next())
      ++files;
    out.PutInt32(files);
    for (const TFileEntry* e = d->Files(); e != nullptr; e = e->Next())
      out.PutName(e->Name(), std::strlen(e->Name()));
  }
  out.Flush();
  return out.Ok() ? TEncodeOutcome::Done : TEncodeOutcome::Stopped;
}

namespace {

// Whether following parents (1-based indexes, 0 for none) from some record
// leads back to a record already on the way. Each record is walked once.
bool HasParentLoop(std::span<const std::int32_t> parents) {
  enum : std::uint8_t { kUnseen, kOnPath, kDone };
  std::vector<std::uint8_t, platform::TLargeAllocator<std::uint8_t>> state(parents.size(), kUnseen);
  std::vector<std::size_t> path;
  for (std::size_t start = 1; start < parents.size(); ++start) {
    std::size_t k = start;
    while (k != 0 && state[k] == kUnseen) {
      state[k] = kOnPath;
      path.push_back(k);
      k = static_cast<std::size_t>(parents[k]);
    }
    if (k != 0 && state[k] == kOnPath) return true;
    for (std::size_t walked : path)
      state[walked] = kDone;
    path.clear();
  }
  return false;
}

}  // namespace

namespace {

using TRecordTable = std::vector<TDirectoryRecord*, platform::TLargeAllocator<TDirectoryRecord*>>;
using TParentTable = std::vector<std::int32_t, platform::TLargeAllocator<std::int32_t>>;

// Parses the records of directories first to last (1-based) from reader's
// place into list, noting each record and its parent's index; false at the
// first thing that is not as this system writes it.
bool ParseDirectories(TImageReader& reader, std::size_t first, std::size_t last, std::int32_t count,
                      TDDList& list, TRecordTable& records, TParentTable& parents) {
  std::vector<std::string_view> names;
  for (std::size_t k = first; k <= last; ++k) {
    std::string_view name;
    std::int32_t parent = 0;
    std::int32_t files = 0;
    if (!reader.ReadName(name) || !reader.ReadInt32(parent) || parent < 0 || parent > count ||
        static_cast<std::size_t>(parent) == k || !reader.ReadInt32(files)) {
      return false;
    }
    if (files < 0) files = 0;
    if (static_cast<std::size_t>(files) > reader.Remaining() / 5) return false;
    TDirectoryRecord* record = list.AddDirectory(name, nullptr);
    records[k] = record;
    parents[k] = parent;
    names.resize(static_cast<std::size_t>(files));
    for (std::string_view& fileName : names) {
      if (!reader.ReadName(fileName)) return false;
    }
    // One block for the directory's entries, in the order of its chain.
    list.AddFiles(names, record);
  }
  return true;
}

// The landmark nearest the middle of the image, or null when there is none
// that leaves directories on both sides.
const TImageLandmark* Middle(std::span<const TImageLandmark> landmarks, std::size_t size,
                             std::int32_t count) noexcept {
  const TImageLandmark* best = nullptr;
  for (const TImageLandmark& landmark : landmarks) {
    if (landmark.Directory < 2 || landmark.Directory > static_cast<std::size_t>(count) ||
        landmark.Offset >= size) {
      continue;
    }
    const auto distance = [&](const TImageLandmark& l) {
      return l.Offset > size / 2 ? l.Offset - size / 2 : size / 2 - l.Offset;
    };
    if (best == nullptr || distance(landmark) < distance(*best)) best = &landmark;
  }
  return best;
}

}  // namespace

std::unique_ptr<TDDList> DecodeTree(const std::uint8_t* image, std::size_t size,
                                    std::span<const TImageLandmark> landmarks) {
  TImageReader reader(image, size);
  std::int32_t count = 0;
  if (!reader.ReadInt32(count)) return nullptr;
  if (count < 0) count = 0;
  // Each record takes at least 13 bytes: a sanity bound before reserving.
  if (static_cast<std::size_t>(count) > reader.Remaining() / 13) return nullptr;

  auto list = std::make_unique<TDDList>();
  TRecordTable records(static_cast<std::size_t>(count) + 1, nullptr);
  TParentTable parents(static_cast<std::size_t>(count) + 1, 0);
  const TImageLandmark* middle =
      std::thread::hardware_concurrency() > 1 ? Middle(landmarks, size, count) : nullptr;
  if (middle == nullptr) {
    if (!ParseDirectories(reader, 1, static_cast<std::size_t>(count), count, *list, records,
                          parents)) {
      return nullptr;
    }
  } else {
    // The second stretch goes into a list of its own on another thread, and
    // joins the first one's chain after it: the records stand in file order
    // all the same.
    TDDList second;
    TImageReader secondReader(image, size, middle->Offset);
    bool secondParsed = false;
    std::exception_ptr secondFailure;
    {
      std::jthread helper;
      try {
        helper = std::jthread([&] {
          try {
            secondParsed =
                ParseDirectories(secondReader, middle->Directory, static_cast<std::size_t>(count),
                                 count, second, records, parents);
          } catch (...) {
            secondFailure = std::current_exception();
          }
        });
      } catch (const std::system_error&) {
        // No thread to be had: this one parses the second stretch too.
      }
      if (!ParseDirectories(reader, 1, middle->Directory - 1, count, *list, records, parents) ||
          reader.Position() != middle->Offset) {
        return nullptr;  // the helper is joined on the way out
      }
      if (!helper.joinable()) {
        secondParsed =
            ParseDirectories(secondReader, middle->Directory, static_cast<std::size_t>(count),
                             count, second, records, parents);
      }
    }
    if (secondFailure) std::rethrow_exception(secondFailure);
    if (!secondParsed) return nullptr;
    list->TakeChain(second);
    reader = secondReader;
  }
  if (reader.Remaining() != 0) return nullptr;
  // Parents may refer to later records, so they are set once all exist,
  // after one linear check that following parents never comes back to where
  // it started: checking each record's ancestors in turn would take time
  // quadratic in the depth of a crafted file.
  if (HasParentLoop(parents)) return nullptr;
  for (std::size_t k = 1; k < records.size(); ++k) {
    if (parents[k] != 0 && !list->SetParentWithoutLoopCheck(
                               records[k], records[static_cast<std::size_t>(parents[k])])) {
      return nullptr;
    }
  }
  return list;
}

void TImageExtent::NextDirectory() noexcept {
  next_ = --directoriesLeft_ > 0 ? TField::DirectoryName : TField::End;
}

bool TImageExtent::Plausible(const std::uint8_t* data, std::size_t size, std::string& detail) {
  const auto refuse = [&](const char* why) {
    refused_ = true;
    detail = why;
    return false;
  };
  for (;;) {
    if (next_ == TField::End) {
      if (size > position_) return refuse("it is longer than the tree it holds");
      return true;
    }
    if (position_ > size || size - position_ < 4) return true;  // wait for more
    const std::uint8_t* p = data + position_;
    const auto value = static_cast<std::int32_t>(p[0] | p[1] << 8 | p[2] << 16 |
                                                 static_cast<std::uint32_t>(p[3]) << 24);
    position_ += 4;
    switch (next_) {
      case TField::DirectoryCount:
        directoriesLeft_ = value;
        next_ = value > 0 ? TField::DirectoryName : TField::End;
        break;
      case TField::DirectoryName:
        if (position_ - 4 >= nextLandmark_) {
          landmarks_.push_back({directoriesSeen_ + 1, position_ - 4});
          nextLandmark_ = position_ - 4 + kLandmarkEvery;
        }
        ++directoriesSeen_;
        [[fallthrough]];
      case TField::FileName:
        if (value < 1 || value > kMaxImageNameLength) return refuse("it does not hold a tree");
        position_ += static_cast<std::size_t>(value);
        if (next_ == TField::DirectoryName) {
          next_ = TField::Parent;
        } else if (--filesLeft_ == 0) {
          NextDirectory();
        }
        break;
      case TField::Parent:
        next_ = TField::FileCount;
        break;
      case TField::FileCount:
        filesLeft_ = value;
        if (value > 0) {
          next_ = TField::FileName;
        } else {
          NextDirectory();
        }
        break;
      case TField::End:
        break;
    }
  }
}

}  // namespace varnoke
