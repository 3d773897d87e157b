// The program's own files held in memory, with failures on demand at every
// step of a save.
#pragma once

#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "platform/data_files.h"

namespace varnoke::testing {

class TMemoryDataFiles : public platform::TDataFiles {
 public:
  std::map<std::string, std::string> files;  // committed contents by path
  std::set<std::string> readOnly;
  bool failRead = false;
  bool failCreate = false;
  bool failWrite = false;
  bool failFlush = false;
  bool failCommit = false;
  // Called at each step of a save: "create", "write", "flush", "commit".
  std::function<void(const std::string& step)> onStep;

  bool ReadFile(const std::string& path, platform::TFileImage& image) override {
    const auto it = files.find(path);
    if (failRead || it == files.end()) return false;
    platform::TFileImage copy(it->second.size());
    std::memcpy(copy.MutableData(), it->second.data(), it->second.size());
    image = std::move(copy);
    return true;
  }

  bool CanReplace(const std::string& path) override { return readOnly.count(path) == 0; }

  std::unique_ptr<platform::TPendingFile> BeginReplace(const std::string& path) override {
    Step("create");
    if (failCreate) return nullptr;
    return std::make_unique<TPending>(*this, path);
  }

 private:
  void Step(const std::string& step) {
    if (onStep) onStep(step);
  }

  class TPending : public platform::TPendingFile {
   public:
    TPending(TMemoryDataFiles& owner, std::string path) : owner_(owner), path_(std::move(path)) {}
    bool Write(std::string_view data) override {
      owner_.Step("write");
      if (owner_.failWrite) return false;
      data_.append(data);
      return true;
    }
    bool Flush() override {
      owner_.Step("flush");
      return !owner_.failFlush;
    }
    bool Commit() override {
      owner_.Step("commit");
      if (owner_.failCommit) return false;
      owner_.files[path_] = data_;
      return true;
    }

   private:
    TMemoryDataFiles& owner_;
    std::string path_;
    std::string data_;
  };
};

}  // namespace varnoke::testing
