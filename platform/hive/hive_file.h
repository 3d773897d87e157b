// The registry kept in one REGEDIT4 file, registry.reg in the settings
// folder.
//
// Every read goes to the file (a parse is reused only while the file is
// provably the same one: same inode, size and times). Every change replaces
// the whole file atomically (temporary file, flush, rename) under an
// advisory lock on a lock file beside it, so two processes never lose each
// other's writes and a crash never leaves half a hive. A file that cannot be
// parsed is never overwritten.
#pragma once

#include <sys/stat.h>

#include <mutex>
#include <string>

#include "platform/registry.h"

namespace varnoke::platform {

class THiveFile : public TRegistry {
 public:
  explicit THiveFile(std::string path);

  THiveRead Read() const override;
  // Changes whenever the file's inode, size or times do (one stat).
  std::optional<std::uint64_t> Stamp() const override;
  TModifyResult Modify(const std::function<bool(THiveContents&)>& edit,
                       std::string& problem) override;

  const std::string& Path() const noexcept { return path_; }

 private:
  struct Identity {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    timespec ctime{};
    bool operator==(const Identity& other) const noexcept;
  };

  THiveRead ReadFile(Identity* identity) const;

  const std::string path_;
  mutable std::mutex mutex_;
  mutable bool cached_ = false;       // Guarded by mutex_.
  mutable Identity cachedIdentity_;   // Guarded by mutex_.
  mutable THiveRead cachedRead_;      // Guarded by mutex_.
  mutable bool stamped_ = false;      // Guarded by mutex_.
  mutable Identity stampedIdentity_;  // Guarded by mutex_.
  mutable std::uint64_t stamp_ = 0;   // Guarded by mutex_.
};

// <settings folder>/registry.reg.
std::string DefaultHivePath();

}  // namespace varnoke::platform
