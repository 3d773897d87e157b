#include "platform/host_path_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/directory_reader.h"
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
// opened. Goes on from the descriptor of a shallower directory of the same
// walk where there is one: a node stands for one path, so the same node at
// the same depth means the same directories above it.
int THostPathCache::DescriptorOf(std::size_t depth) {
  if (!fdValid_ || fdDepth_ > depth || walk_[fdDepth_] != fdNode_) {
    fdValid_ = false;
    fd_.Reset(::open(walk_[0]->host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd_.Valid()) return -1;
    fdDepth_ = 0;
  }
  while (fdDepth_ < depth) {
    fd_.Reset(::openat(fd_.Get(), walk_[fdDepth_ + 1]->host.c_str(), kDirectoryFlags));
    if (!fd_.Valid()) {
      fdValid_ = false;
      return -1;
    }
    ++fdDepth_;
  }
  fdNode_ = walk_[fdDepth_];
  fdValid_ = true;
  return fd_.Get();
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
  std::string host = key;
  const int fd = DescriptorOf(depth);
  struct stat st {};
  if (fd >= 0 && ::fstatat(fd, key.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    if (!directory.listed) {
      directory.listed = true;
      TUniqueFd listing(::openat(fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      if (listing.Valid()) {
        TDirectoryReader reader;
        reader.ReadAll(listing.Get(), false, [&](const TRawEntry& entry) {
          if (entry.Name == "." || entry.Name == "..") return;
          directory.byUpperName.emplace(UpperCase(entry.Name), std::string(entry.Name));
        });
      }
    }
    const auto it = directory.byUpperName.find(UpperCase(name));
    if (it != directory.byUpperName.end()) host = it->second;
  }
  return directory.resolved.emplace(key, std::move(host)).first->second;
}

const std::string& THostPathCache::HostPath(std::string_view drivePath) {
  result_.clear();
  if (drivePath.size() < 3 || drivePath[1] != ':' || drivePath[2] != '\\') return result_;
  TNode* root = Root(drivePath[0]);
  if (root == nullptr) return result_;
  walk_.clear();
  walk_.push_back(root);
  result_ = root->host;
  std::size_t begin = 3;
  for (;;) {
    const std::size_t slash = drivePath.find('\\', begin);
    if (slash == std::string_view::npos) {
      const std::string_view name = drivePath.substr(begin);
      if (!name.empty()) AppendComponent(result_, Resolve(walk_.size() - 1, name));
      return result_;
    }
    const std::string key(drivePath.substr(begin, slash - begin));
    TNode*& child = walk_.back()->children[key];
    if (child == nullptr) {
      std::string host = Resolve(walk_.size() - 1, key);
      child = &nodes_.emplace_back();
      child->host = std::move(host);
    }
    AppendComponent(result_, child->host);
    walk_.push_back(child);
    begin = slash + 1;
  }
}

}  // namespace varnoke::platform
