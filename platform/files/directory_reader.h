// Reading a directory's entries straight from the kernel, in the order it
// keeps them, through an open directory descriptor.
#pragma once

#include <dirent.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace varnoke::platform {

// One entry as getdents64 gives it.
struct TRawEntry {
  std::string_view Name;  // valid until the next call of the reader
  unsigned char Type;     // DT_DIR, DT_REG, DT_LNK, ... or DT_UNKNOWN
};

class TDirectoryReader {
 public:
  TDirectoryReader() : buffer_(64 * 1024) {}

  // Calls visit(entry) for every entry of the directory open as fd, from
  // its first entry on (rewinding first unless the descriptor is fresh).
  // Returns false when the kernel refuses to read it.
  template <typename Visit>
  bool ReadAll(int fd, bool rewind, Visit&& visit);

  // True when the entry named in the directory fd is a directory; entries
  // of unknown type are looked up without following symbolic links.
  static bool IsDirectory(int fd, const TRawEntry& entry);

 private:
  static bool Rewind(int fd);
  // Fills the buffer with the next batch; returns its length, 0 at the end,
  // -1 on failure.
  long NextBatch(int fd);
  std::vector<char> buffer_;
};

template <typename Visit>
bool TDirectoryReader::ReadAll(int fd, bool rewind, Visit&& visit) {
  if (rewind && !Rewind(fd)) return false;
  for (;;) {
    const long length = NextBatch(fd);
    if (length < 0) return false;
    if (length == 0) return true;
    for (long offset = 0; offset < length;) {
      const char* record = buffer_.data() + offset;
      unsigned short recordLength = 0;
      std::memcpy(&recordLength, record + offsetof(struct dirent64, d_reclen), sizeof recordLength);
      if (recordLength == 0) return false;
      const auto type = static_cast<unsigned char>(record[offsetof(struct dirent64, d_type)]);
      visit(TRawEntry{std::string_view(record + offsetof(struct dirent64, d_name)), type});
      offset += recordLength;
    }
  }
}

}  // namespace varnoke::platform
