#include "tools/varnoke-setup/root_drive.h"

#include "platform/drives/hive_drive_overrides.h"

namespace varnoke::setup {

std::string DeclareRootFixed(platform::TRegistry& registry, const std::string& cTarget,
                             platform::TDriveType rootType, std::string& problem) {
  if (cTarget != "/" || rootType == platform::TDriveType::Fixed) return {};
  bool declared = false;
  const platform::TModifyResult result = registry.Modify(
      [&](platform::THiveContents& contents) {
        platform::TRegKey& drives = contents.FindOrAdd(platform::kDrivesKey);
        if (drives.Find("c:") != nullptr) return false;  // names match case-blind
        drives.Set("c:", platform::kRegSz, platform::StringData("fixed"));
        declared = true;
        return true;
      },
      problem);
  if (result == platform::TModifyResult::Unreadable ||
      result == platform::TModifyResult::Unwritable) {
    return {};
  }
  if (!declared) return {};
  return "the root of the file system is not on a disk the mounts name (a container or a "
         "chroot?): declared drive C: fixed (" +
         std::string(platform::kDrivesKey) + ", c: = fixed)";
}

}  // namespace varnoke::setup
