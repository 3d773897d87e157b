// The peers of a save and a load: the same bytes written and read with
// plain system calls.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

namespace varnoke::bench {

// The peer of a save: the same bytes written and made durable, as a save
// must before its file takes the old one's place.
inline void PlainWrite(const std::string& path, const std::string& data) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (::write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size())) {
    std::fprintf(stderr, "short write\n");
  }
  ::fsync(fd);
  ::close(fd);
}

inline std::size_t PlainRead(const std::string& path, std::size_t size) {
  auto buffer = std::make_unique_for_overwrite<char[]>(size + 1);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  std::size_t total = 0;
  for (ssize_t n; (n = ::read(fd, buffer.get() + total, size + 1 - total)) > 0;) {
    total += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return total;
}

}  // namespace varnoke::bench
