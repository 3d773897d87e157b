// The program's own files on this machine.
#pragma once

#include "platform/data_files.h"

namespace varnoke::platform {

class TLinuxDataFiles : public TDataFiles {
 public:
  bool ReadFile(const std::string& path, TFileImage& image) override;
  bool CanReplace(const std::string& path) override;
  // The new version is a temporary file in the same folder; committing it
  // renames it over the old file and flushes the folder.
  std::unique_ptr<TPendingFile> BeginReplace(const std::string& path) override;
};

}  // namespace varnoke::platform
