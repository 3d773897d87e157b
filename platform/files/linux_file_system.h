// The file system of this machine, reached through the drive map.
//
// Directories are opened one component at a time relative to their parent
// (openat), so a path is never limited in length, and the chain of open
// directories of the last listing is kept: a scan that lists a directory and
// then its subdirectories opens each of them once, by name, from its parent.
#pragma once

#include <sys/types.h>

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/drives/linux_drives.h"
#include "platform/drives/mount_table.h"
#include "platform/file_system.h"
#include "platform/files/directory_reader.h"
#include "platform/unique_fd.h"

namespace varnoke::platform {

class TLinuxFileSystem : public TFileSystem {
 public:
  // Both are borrowed and must outlive this object.
  TLinuxFileSystem(const TLinuxDrives& drives, TMountTable& mounts);

  bool ListDirectory(std::string_view path, bool withSizes, TDirectoryListing& listing) override;
  bool ListDirectoryAfresh(std::string_view path, TDirectoryListing& listing) override;
  bool FileExists(std::string_view path) const override;

  // A descriptor of the directory at the drive-form path, reached as
  // ListDirectory reaches it (no symbolic link, no mount that is not a
  // fixed disk); invalid when it cannot be opened.
  TUniqueFd OpenDirectory(std::string_view path);
  // The same, with every component looked up on the disk again rather than
  // taken over from the chain of an earlier call, which a rename since may
  // have made another directory's: for callers that open a directory now
  // and then rather than walk a tree.
  TUniqueFd OpenDirectoryAfresh(std::string_view path);

  // Lists the directory open as fd, as ListDirectory lists (without sizes).
  bool ListOpenDirectory(int fd, TDirectoryListing& listing);

  // Opens the directory at the drive-form path as OpenDirectory does (as
  // OpenDirectoryAfresh with afresh), hands its descriptor to inspect,
  // which must not keep it nor use this object, and, when inspect returns
  // true, lists it as ListDirectory does; read tells whether the listing
  // could be read (listing is empty otherwise). The calls a caller's own
  // descriptor would cost, saved for a walk. False when the directory
  // cannot be opened.
  bool InspectDirectory(std::string_view path, bool afresh,
                        const std::function<bool(int fd)>& inspect, TDirectoryListing& listing,
                        bool& read);

  // The host form of a drive-form path: the drive's root, then each
  // component matched against the disk (the entry of exactly that name, else
  // the first entry whose upper-cased name equals the component's; a
  // component that matches nothing keeps its text), joined with "/". Empty
  // components are dropped. Empty when the drive has no root.
  std::string HostPath(std::string_view drivePath) const;

  // Directory descriptors kept open at most; deeper levels are closed and
  // opened again from their parent when needed.
  static constexpr std::size_t kMaxOpenLevels = 64;

 private:
  struct Level {
    std::string hostName;  // as the disk spells it
    std::size_t end = 0;   // length of chainPath_ up to and including this level
    TUniqueFd fd;          // closed for the levels between the root and the deepest ones
    bool unread = true;    // fd is where it was opened, at the first entry
    dev_t dev = 0;
    ino_t ino = 0;
  };
  struct LevelId {
    dev_t dev;
    ino_t ino;
    bool operator==(const LevelId&) const = default;
  };
  struct LevelIdHash {
    std::size_t operator()(const LevelId& id) const noexcept {
      return std::hash<std::uint64_t>()(static_cast<std::uint64_t>(id.dev) * 0x9E3779B97F4A7C15ULL ^
                                        static_cast<std::uint64_t>(id.ino));
    }
  };
  static LevelId Id(const Level& level) noexcept { return {level.dev, level.ino}; }

  bool OpenChain(char letter, std::string_view path);
  // OpenChain for a drive-form path; mutex_ held.
  bool OpenLevel(std::string_view path, bool afresh);
  bool OpenRoot(char letter, bool verify);
  // Notes the folders of the drive's tree that another drive keeps, and
  // whether the drive is all another's (two links to one folder).
  void NoteOverlaps(char letter);
  bool EnsureOpen(std::size_t level);
  bool PushChild(std::string_view name);
  void DropLevels(std::size_t keep);
  void CloseBehindWindow(std::size_t opened);
  bool ReadListing(int fd, bool rewind, bool withSizes, TDirectoryListing& listing);
  TUniqueFd Open(std::string_view path, bool afresh);

  const TLinuxDrives& drives_;
  TMountTable& mounts_;

  // The chain of directories of the last listing, from the drive root down.
  std::mutex mutex_;
  char letter_ = 0;                                    // Guarded by mutex_.
  std::string rootPath_;                               // Guarded by mutex_.
  std::vector<Level> levels_;                          // Guarded by mutex_.
  std::string chainPath_;                              // "C:\A\B\"; Guarded by mutex_.
  std::unordered_set<LevelId, LevelIdHash> chainIds_;  // Guarded by mutex_.
  // Roots of other drives in this drive's tree that those drives keep: not
  // entered. Guarded by mutex_.
  std::unordered_set<LevelId, LevelIdHash> keptElsewhere_;
  bool rootKeptElsewhere_ = false;  // Guarded by mutex_.
  TDirectoryReader reader_;         // Guarded by mutex_.
};

}  // namespace varnoke::platform
