// The program's own files held in memory, with failures on demand at every
// step of a save.
#pragma once

#include <cerrno>
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
  // Called at each step of a save: "create", "write", "flush", "commit",
  // and of a load: "lock", "read", "unlock".
  std::function<void(const std::string& step)> onStep;
  // Temporary files of saves that were begun and neither committed nor
  // dropped yet.
  int pending = 0;

  bool ReadFile(const std::string& path, platform::TFileImage& image, platform::TFileError& error,
                platform::TReadCheck* check) override {
    Step("read");
    const auto it = files.find(path);
    if (it == files.end()) {
      error = platform::SystemFileError("open", path, ENOENT);
      return false;
    }
    if (failRead) {
      error = platform::SystemFileError("open", path, EACCES);
      return false;
    }
    platform::TFileImage copy(it->second.size());
    std::memcpy(copy.MutableData(), it->second.data(), it->second.size());
    std::string detail;
    if (check != nullptr && copy.Size() != 0 &&
        !check->Plausible(copy.Data(), copy.Size(), detail)) {
      error = platform::RefusedFile("read", path, detail);
      return false;
    }
    image = std::move(copy);
    return true;
  }

  bool CanReplace(const std::string& path, platform::TFileError& error) override {
    if (readOnly.count(path) == 0) return true;
    error = platform::SystemFileError("replace", path, EACCES);
    return false;
  }

  std::unique_ptr<platform::TFileLock> ShareLock(const std::string&) override {
    Step("lock");
    return std::make_unique<TLock>(*this);
  }

  std::unique_ptr<platform::TPendingFile> BeginReplace(const std::string& path,
                                                       platform::TFileError& error) override {
    Step("create");
    if (failCreate) {
      error = platform::SystemFileError("create", path, ENOSPC);
      return nullptr;
    }
    return std::make_unique<TPending>(*this, path);
  }

 private:
  void Step(const std::string& step) {
    if (onStep) onStep(step);
  }

  class TLock : public platform::TFileLock {
   public:
    explicit TLock(TMemoryDataFiles& owner) : owner_(owner) {}
    ~TLock() override { owner_.Step("unlock"); }

   private:
    TMemoryDataFiles& owner_;
  };

  class TPending : public platform::TPendingFile {
   public:
    TPending(TMemoryDataFiles& owner, std::string path) : owner_(owner), path_(std::move(path)) {
      ++owner_.pending;
    }
    ~TPending() override {
      if (!committed_) --owner_.pending;
    }
    bool Write(std::string_view data) override {
      owner_.Step("write");
      if (owner_.failWrite) return Fail("write", ENOSPC);
      data_.append(data);
      return true;
    }
    bool Flush() override {
      owner_.Step("flush");
      return !owner_.failFlush || Fail("flush", EIO);
    }
    bool Commit() override {
      owner_.Step("commit");
      if (owner_.failCommit) return Fail("rename", EPERM);
      owner_.files[path_] = data_;
      committed_ = true;
      --owner_.pending;
      return true;
    }

   private:
    bool Fail(const char* step, int code) {
      error_ = platform::SystemFileError(step, path_ + ".tmp", code);
      return false;
    }

    TMemoryDataFiles& owner_;
    std::string path_;
    std::string data_;
    bool committed_ = false;
  };
};

}  // namespace varnoke::testing
