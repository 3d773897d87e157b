// A registry held in memory, with failures on demand.
#pragma once

#include <mutex>

#include "platform/registry.h"

namespace varnoke::testing {

class TMemoryRegistry : public platform::TRegistry {
 public:
  platform::THiveContents contents;
  bool unreadable = false;  // as if the hive could not be parsed
  bool unwritable = false;  // as if the new hive could not be stored

  // Adds the settings key with the given DWORD values.
  void AddSettingsKey() { contents.FindOrAdd("HKEY_CLASSES_ROOT\\Varnoke\\Settings"); }

  platform::THiveRead Read() const override {
    platform::THiveRead read;
    read.Readable = !unreadable;
    if (unreadable) read.Problem = "line 3: broken on purpose";
    if (!unreadable) read.Contents = contents;
    return read;
  }

  platform::TModifyResult Modify(const std::function<bool(platform::THiveContents&)>& edit,
                                 std::string& problem) override {
    if (unreadable) {
      problem = "line 3: broken on purpose";
      return platform::TModifyResult::Unreadable;
    }
    platform::THiveContents copy = contents;
    if (!edit(copy)) return platform::TModifyResult::Declined;
    if (unwritable) {
      problem = "the disk is full";
      return platform::TModifyResult::Unwritable;
    }
    contents = std::move(copy);
    return platform::TModifyResult::Written;
  }
};

}  // namespace varnoke::testing
