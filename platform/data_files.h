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
  std::size_t mapped_ = 0;  // the size it was mapped for; 0 when on the heap
  std::unique_ptr<std::uint8_t[]> heap_;
};

// Why an operation on one of the program's files failed: the step, the
// file, and the system's error (or, for a refusal that is no system error,
// what is wrong).
struct TFileError {
  std::string Step;    // "open", "read", "write", "flush", "rename", ...
  std::string Path;    // the file (for a rename: from and to)
  int Errno = 0;       // 0 when Detail says what is wrong
  std::string Detail;  // "it is not a regular file", ...

  bool Missing() const noexcept;  // the file does not exist
  // "cannot open /x/memdb.dat: Permission denied"
  std::string Describe() const;
};

TFileError SystemFileError(std::string step, std::string path, int error);
TFileError RefusedFile(std::string step, std::string path, std::string detail);

// Looks at a file while it is read, to refuse early one that cannot be
// what the reader expects, before reading (and holding) all of it.
class TReadCheck {
 public:
  virtual ~TReadCheck() = default;
  // Called with all bytes read so far, each time more have come; false ends
  // the read as a failure with the reason in detail.
  virtual bool Plausible(const std::uint8_t* data, std::size_t size, std::string& detail) = 0;
};

// A lock that readers of a file hold together and that keeps its saver out
// (see BeginReplace). Released when dropped.
class TFileLock {
 public:
  virtual ~TFileLock() = default;
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
  // Why the last step that returned false failed.
  const TFileError& Error() const noexcept { return error_; }

 protected:
  TFileError error_;
};

class TDataFiles {
 public:
  virtual ~TDataFiles() = default;

  // Reads the whole file; false, with error saying why, when it is missing,
  // is not a regular file, cannot be opened or read, or check (when not
  // null) refuses what was read. Never waits for a writer of a pipe or
  // device that stands where the file should be.
  virtual bool ReadFile(const std::string& path, TFileImage& image, TFileError& error,
                        TReadCheck* check) = 0;

  // False, with error saying why, when the file exists and may not be
  // written (read-only), or is not a plain file.
  virtual bool CanReplace(const std::string& path, TFileError& error) = 0;

  // Takes the lock that readers of the file share, waiting while a new
  // version is pending. Null when no lock can be had (the folder cannot
  // hold one): then no saver can lock the file either. A process that holds
  // a pending file of its own must not call this for the same file: it
  // would wait for itself.
  virtual std::unique_ptr<TFileLock> ShareLock(const std::string& path) = 0;

  // Starts a new version of the file. Holds a lock that keeps other
  // processes' new versions of the same file, and the readers that share
  // ShareLock, out until it is dropped; removes the temporary files that
  // earlier saves of the file left when they were killed. Null, with error
  // saying why, when the new version cannot be created.
  virtual std::unique_ptr<TPendingFile> BeginReplace(const std::string& path,
                                                     TFileError& error) = 0;
};

}  // namespace varnoke::platform
