// Writing files: the folders they go in, the write loop, and the one way a
// file that matters is replaced.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

#include "platform/unique_fd.h"

namespace varnoke::platform {

// Makes folder and the folders above it that are missing (mode 0700);
// true when it is a folder now.
bool MakeFolders(const std::string& folder);

// Writes all of data to fd, through short writes and interruptions.
bool WriteAll(int fd, std::string_view data);

// A new version of a file, written beside it and put in its place in one
// atomic step, so that a crash at any moment leaves either the old file or
// the whole new one. The new version is a temporary file "<path>.XXXXXX"
// in the same folder, opened close-on-exec (a program started meanwhile
// must not inherit it); Commit flushes it, renames it over the file and
// flushes the folder, without which the rename itself may not survive a
// crash. Dropped uncommitted, it removes the temporary file and the old
// file stands. Callers that may race with another writer of the same file
// hold a lock of their own around it; the temporaries a killed writer left
// are found by RemoveLeftoverTemporaries.
class TFileReplacement {
 public:
  // Creates the temporary file with the given permissions; check Valid().
  explicit TFileReplacement(std::string path, mode_t mode = 0600);
  ~TFileReplacement();
  TFileReplacement(const TFileReplacement&) = delete;
  TFileReplacement& operator=(const TFileReplacement&) = delete;

  // False when the temporary file could not be made.
  bool Valid() const noexcept { return file_.Valid() || committed_; }
  // Appends data; false when it cannot be written.
  bool Write(std::string_view data);
  // Makes what was written durable.
  bool Flush();
  // Flushes what is not flushed yet and puts the new version in the file's
  // place; false when it cannot, the old file then standing.
  bool Commit();

  // The step that failed last ("create", "write", "flush", "rename"), the
  // file it failed on (for the rename: from and to), and the system's error.
  const std::string& FailedStep() const noexcept { return failedStep_; }
  std::string FailedPath() const;
  int Error() const noexcept { return error_; }

 private:
  bool Fail(const char* step, int error);

  std::string path_;
  std::string temporary_;
  TUniqueFd file_;
  bool flushed_ = false;
  bool committed_ = false;
  std::string failedStep_;
  int error_ = 0;
};

}  // namespace varnoke::platform
