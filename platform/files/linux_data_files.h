// The program's own files on this machine.
#pragma once

#include "platform/data_files.h"

namespace varnoke::platform {

class TLinuxDataFiles : public TDataFiles {
 public:
  bool ReadFile(const std::string& path, TFileImage& image, TFileError& error,
                TReadCheck* check) override;
  bool CanReplace(const std::string& path, TFileError& error) override;
  // A shared flock on "<path>.lock", the file the saver locks exclusively.
  std::unique_ptr<TFileLock> ShareLock(const std::string& path) override;
  // The new version is a temporary file "<path>.XXXXXX" in the same folder;
  // committing it renames it over the old file and flushes the folder.
  std::unique_ptr<TPendingFile> BeginReplace(const std::string& path, TFileError& error) override;
};

}  // namespace varnoke::platform
