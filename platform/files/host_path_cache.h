// Turning many drive-form paths into host paths, as TLinuxFileSystem's
// HostPath does one at a time, with each directory listed once: stored
// names are upper-cased, so nearly every component needs the case-blind
// match against its directory's entries.
//
// The directories seen are kept as a tree of their components, so memory
// grows with the number of directories and not with the length of their
// paths, and the disk is walked by directory descriptors, so paths longer
// than the system's limit resolve too.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/drives/linux_drives.h"
#include "platform/files/directory_reader.h"
#include "platform/unique_fd.h"

namespace varnoke::platform {

class THostPathCache {
 public:
  // drives is borrowed and must outlive the cache.
  explicit THostPathCache(const TLinuxDrives& drives) : drives_(drives) {}

  // The host form of a drive-form path; empty when its drive has no root.
  // Each component goes to the entry of that exact name, else to the first
  // listed whose upper-cased name matches.
  const std::string& HostPath(std::string_view drivePath);

  // The same for a path whose components may have twins: entries of one
  // directory whose names differ only in case, which the drive form cannot
  // tell apart. ordinals[i] is for the i-th component below the drive root:
  // kSoleName where the name has no twin (resolved as above), else the
  // component is the ordinals[i]-th (from 0), in listing order, of the
  // directory's entries with its upper-cased name and its kind: directories
  // for all but the last component, and for the last one as
  // lastIsDirectory says. Missing ordinals count as kSoleName; an ordinal
  // beyond what the disk lists now resolves as a sole name does.
  static constexpr std::uint32_t kSoleName = 0xFFFFFFFFu;
  const std::string& HostPath(std::string_view drivePath,
                              const std::vector<std::uint32_t>& ordinals, bool lastIsDirectory);

 private:
  struct TNode {
    std::string host;  // the root's host path, or the directory's name on the disk
    bool listed = false;
    // Names asked for -> the name on the disk.
    std::unordered_map<std::string, std::string> resolved;
    // Upper-cased entry name -> the first host name in listing order.
    std::unordered_map<std::string, std::string> byUpperName;
    // Upper-cased entry name -> every host name of that kind, in listing
    // order; filled only where a twin is asked for.
    bool kindsListed = false;
    std::unordered_map<std::string, std::vector<std::string>> directoriesByUpperName;
    std::unordered_map<std::string, std::vector<std::string>> othersByUpperName;
    std::unordered_map<std::string, TNode*> children;  // by the name asked for
  };

  TNode* Root(char letter);
  const std::string& Resolve(std::size_t depth, std::string_view name);
  const std::string& ResolveTwin(std::size_t depth, std::string_view name, std::uint32_t ordinal,
                                 bool isDirectory);
  const std::string& ResolveComponent(std::size_t depth, std::string_view name,
                                      std::uint32_t ordinal, bool isDirectory);
  int DescriptorOf(std::size_t depth);

  const TLinuxDrives& drives_;
  std::deque<TNode> nodes_;  // owns every node; freed without recursion
  std::array<TNode*, 26> roots_{};
  // The walk of the current path: its nodes from the root.
  std::vector<TNode*> walk_;
  // Descriptors of the directories of the walks so far, by depth: fds_[d]
  // stands for fdNodes_[d], and a node stands for one path, so it serves a
  // later walk through the same node at the same depth. Only the first
  // kOpenLevels levels are kept; deeper ones are opened from the deepest
  // kept one when needed, the last of them in deepFd_.
  static constexpr std::size_t kOpenLevels = 64;
  std::vector<TUniqueFd> fds_;
  std::vector<const TNode*> fdNodes_;
  TUniqueFd deepFd_;
  const TNode* deepNode_ = nullptr;
  std::size_t deepDepth_ = 0;
  TDirectoryReader reader_;
  std::string result_;
};

}  // namespace varnoke::platform
