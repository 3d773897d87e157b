#include "platform/files/host_path_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/upcase.h"

namespace varnoke::platform {
namespace {

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW;

void AppendComponent(std::string& path, std::string_view name) {
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
}

}  // namespace

THostPathCache::TNode* THostPathCache::Root(char letter) {
  const char upper = static_cast<char>(letter & ~0x20);
  if (upper < 'A' || upper > 'Z') return nullptr;
  TNode*& root = roots_[static_cast<std::size_t>(upper - 'A')];
  if (root == nullptr) {
    root = &nodes_.emplace_back();
    root->host = drives_.HostRoot(upper);
  }
  return root->host.empty() ? nullptr : root;
}

// A descriptor of the directory at walk_[depth], or -1 when it cannot be
// opened. Goes on from the deepest directory of the walk that is open
// already, so that a walk beside the last one opens only what differs.
int THostPathCache::DescriptorOf(std::size_t depth) {
  if (fds_.empty()) {
    fds_.resize(kOpenLevels);
    fdNodes_.resize(kOpenLevels, nullptr);
  }
  std::size_t open = std::min(depth, kOpenLevels - 1);
  int fd = -1;
  if (depth >= kOpenLevels && deepFd_.Valid() && deepDepth_ <= depth &&
      walk_[deepDepth_] == deepNode_) {
    // Deeper than the kept levels: on from the deep one of this walk.
    open = deepDepth_;
    fd = deepFd_.Get();
  } else {
    while (fdNodes_[open] != walk_[open] || !fds_[open].Valid()) {
      if (open == 0) {
        fds_[0].Reset(::open(walk_[0]->host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        fdNodes_[0] = fds_[0].Valid() ? walk_[0] : nullptr;
        if (!fds_[0].Valid()) return -1;
        break;
      }
      --open;
    }
    fd = fds_[open].Get();
  }
  for (std::size_t level = open + 1; level <= depth; ++level) {
    TUniqueFd next(::openat(fd, walk_[level]->host.c_str(), kDirectoryFlags));
    if (!next.Valid()) return -1;
    if (level < kOpenLevels) {
      fds_[level] = std::move(next);
      fdNodes_[level] = walk_[level];
      fd = fds_[level].Get();
    } else {
      deepFd_ = std::move(next);
      deepNode_ = walk_[level];
      deepDepth_ = level;
      fd = deepFd_.Get();
    }
  }
  return fd;
}

// The disk's spelling of name in the directory walk_[depth]: the entry of
// that exact name, else the first whose upper-cased name matches, else the
// name itself.
const std::string& THostPathCache::Resolve(std::size_t depth, std::string_view name) {
  TNode& directory = *walk_[depth];
  const std::string key(name);
  if (const auto it = directory.resolved.find(key); it != directory.resolved.end()) {
    return it->second;
  }
  const std::string upperName = UpperCase(name);
  if (upperName != key) {
    // A name the tree did not store (stored names are upper-cased): the
    // entry of exactly that name, when there is one.
    const int fd = DescriptorOf(depth);
    struct stat st {};
    if (fd >= 0 && ::fstatat(fd, key.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
      return directory.resolved.emplace(key, key).first->second;
  }
  if (!directory.listed) {
    directory.listed = true;
    // One listing answers every name of the directory, where a lookup of
    // the exact name would answer one: rows on view come many to a folder.
    const int fd = DescriptorOf(depth);
    if (fd >= 0) {
      // The descriptor is read from its start, wherever an earlier listing
      // left it.
      reader_.ReadAll(fd, true, [&](const TRawEntry& entry) {
        if (entry.Name == "." || entry.Name == "..") return;
        std::string upper = UpperCase(entry.Name);
        // The entry spelled exactly as the upper-cased name goes before
        // the others.
        const bool exact = upper == entry.Name;
        const auto [it, added] = directory.byUpperName.emplace(std::move(upper), entry.Name);
        if (!added && exact) it->second = std::string(entry.Name);
      });
    }
  }
  std::string host = key;
  const auto it = directory.byUpperName.find(upperName);
  if (it != directory.byUpperName.end()) host = it->second;
  return directory.resolved.emplace(key, std::move(host)).first->second;
}

// The ordinal-th entry of the kind asked for whose upper-cased name is
// name's, in the order the directory lists them: the order in which the
// scan met them. Goes to Resolve when the disk lists fewer.
const std::string& THostPathCache::ResolveTwin(std::size_t depth, std::string_view name,
                                               std::uint32_t ordinal, bool isDirectory) {
  TNode& directory = *walk_[depth];
  // Names hold no NUL, so the key cannot meet a plain name's.
  std::string key(name);
  key.push_back('\0');
  key.push_back(isDirectory ? 'd' : 'f');
  key += std::to_string(ordinal);
  if (const auto it = directory.resolved.find(key); it != directory.resolved.end()) {
    return it->second;
  }
  if (!directory.kindsListed) {
    directory.kindsListed = true;
    const int fd = DescriptorOf(depth);
    if (fd >= 0) {
      reader_.ReadAll(fd, true, [&](const TRawEntry& entry) {
        if (entry.Name == "." || entry.Name == "..") return;
        auto& byName = TDirectoryReader::IsDirectory(fd, entry) ? directory.directoriesByUpperName
                                                                : directory.othersByUpperName;
        byName[UpperCase(entry.Name)].emplace_back(entry.Name);
      });
    }
  }
  const auto& byName = isDirectory ? directory.directoriesByUpperName : directory.othersByUpperName;
  const auto it = byName.find(UpperCase(name));
  if (it == byName.end() || ordinal >= it->second.size()) {
    std::string host = Resolve(depth, name);
    return directory.resolved.emplace(std::move(key), std::move(host)).first->second;
  }
  return directory.resolved.emplace(std::move(key), it->second[ordinal]).first->second;
}

const std::string& THostPathCache::ResolveComponent(std::size_t depth, std::string_view name,
                                                    std::uint32_t ordinal, bool isDirectory) {
  return ordinal == kSoleName ? Resolve(depth, name)
                              : ResolveTwin(depth, name, ordinal, isDirectory);
}

const std::string& THostPathCache::HostPath(std::string_view drivePath) {
  static const std::vector<std::uint32_t> kNoOrdinals;
  return HostPath(drivePath, kNoOrdinals, false);
}

const std::string& THostPathCache::HostPath(std::string_view drivePath,
                                            const std::vector<std::uint32_t>& ordinals,
                                            bool lastIsDirectory) {
  result_.clear();
  if (drivePath.size() < 3 || drivePath[1] != ':' || drivePath[2] != '\\') return result_;
  TNode* root = Root(drivePath[0]);
  if (root == nullptr) return result_;
  walk_.clear();
  walk_.push_back(root);
  result_ = root->host;
  std::size_t begin = 3;
  for (std::size_t component = 0;; ++component) {
    const std::uint32_t ordinal = component < ordinals.size() ? ordinals[component] : kSoleName;
    const std::size_t slash = drivePath.find('\\', begin);
    if (slash == std::string_view::npos) {
      const std::string_view name = drivePath.substr(begin);
      if (!name.empty()) {
        AppendComponent(result_,
                        ResolveComponent(walk_.size() - 1, name, ordinal, lastIsDirectory));
      }
      return result_;
    }
    const std::string_view name = drivePath.substr(begin, slash - begin);
    // Twins are distinct directories, each with a node of its own.
    std::string key(name);
    if (ordinal != kSoleName) {
      key.push_back('\0');
      key += std::to_string(ordinal);
    }
    TNode*& child = walk_.back()->children[key];
    if (child == nullptr) {
      std::string host = ResolveComponent(walk_.size() - 1, name, ordinal, true);
      child = &nodes_.emplace_back();
      child->host = std::move(host);
    }
    AppendComponent(result_, child->host);
    walk_.push_back(child);
    begin = slash + 1;
  }
}

}  // namespace varnoke::platform
