// The program's own files, such as the database file, named by host paths
// (relative ones from the current directory).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace varnoke::platform {

// A whole file read into memory. Large images live in a mapping of their
// own, aligned for huge pages, so that reading one costs a few page faults
// rather than one per page.
class TFileImage {
 public:
  TFileImage() = default;
  // An image of size bytes, contents undefined, to be filled through
  // MutableData().
  explicit TFileImage(std::size_t size);
  ~TFileImage();
  TFileImage(TFileImage&& other) noexcept;
  TFileImage& operator=(TFileImage&& other) noexcept;
  TFileImage(const TFileImage&) = delete;
  TFileImage& operator=(const TFileImage&) = delete;

  const std::uint8_t* Data() const noexcept { return data_; }
  std::uint8_t* MutableData() noexcept { return data_; }
  std::size_t Size() const noexcept { return size_; }
  // Keeps only the first size bytes.
  void Shrink(std::size_t size) noexcept {
    if (size < size_) size_ = size;
  }

 private:
  void Release() noexcept;

  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t mapped_ = 0;  // length of the mapping; 0 when on the heap
  std::unique_ptr<std::uint8_t[]> heap_;
};

// The new contents of a file, written beside it. Only Commit puts them in
// the file's place, in one atomic step; until then the old file stands, and
// a pending file that is dropped uncommitted leaves no trace.
class TPendingFile {
 public:
  virtual ~TPendingFile() = default;
  // Appends data; false when it cannot be written.
  virtual bool Write(std::string_view data) = 0;
  // Makes what was written durable; false when it cannot.
  virtual bool Flush() = 0;
  // Replaces the file by the written contents; false when it cannot, the old
  // file then standing.
  virtual bool Commit() = 0;
};

class TDataFiles {
 public:
  virtual ~TDataFiles() = default;

  // Reads the whole file; false when it cannot be opened or read.
  virtual bool ReadFile(const std::string& path, TFileImage& image) = 0;

  // False when the file exists and may not be written (read-only), or is
  // not a plain file.
  virtual bool CanReplace(const std::string& path) = 0;

  // Starts a new version of the file. Holds a lock that keeps other
  // processes' new versions of the same file out until it is dropped. Null
  // when the new version cannot be created.
  virtual std::unique_ptr<TPendingFile> BeginReplace(const std::string& path) = 0;
};

}  // namespace varnoke::platform
