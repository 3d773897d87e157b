// Temporary folders for tests that touch the disk, removed with everything
// in them however deep it goes.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace varnoke::testing {

class TTempDir {
 public:
  TTempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && base[0] == '/' ? base : "/tmp") + "/varnoke-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TTempDir() {
    // rm copes with trees of any depth; it stays on this file system, so a
    // mount a test forgot cannot lead it elsewhere. The name comes from
    // mkdtemp and needs no quoting beyond this.
    const std::string command = "rm -rf --one-file-system -- '" + path_ + "'";
    if (std::system(command.c_str()) != 0) {
      // Nothing more can be done in a destructor; the folder stays behind.
    }
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace varnoke::testing
