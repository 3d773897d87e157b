// The host's file system as the database sees it: directories named by
// drive-form paths ("C:\Program Files\") whose entries are listed in the
// order the host keeps them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace varnoke::platform {

inline constexpr std::uint32_t kFileAttributeDirectory = 0x10;

// The entries of one directory. Names are kept in one buffer, so that a
// listing of thousands of entries costs a few allocations.
class TDirectoryListing {
 public:
  struct Entry {
    std::uint32_t NameOffset;
    std::uint32_t NameLength;
    std::uint32_t Attributes;  // kFileAttributeDirectory for a directory
    std::uint32_t Size;        // low 32 bits of the size; 0 for directories
  };

  void Clear() noexcept {
    names_.clear();
    entries_.clear();
  }
  void Add(std::string_view name, std::uint32_t attributes, std::uint32_t size) {
    entries_.push_back({static_cast<std::uint32_t>(names_.size()),
                        static_cast<std::uint32_t>(name.size()), attributes, size});
    names_.append(name);
  }
  std::size_t Size() const noexcept { return entries_.size(); }
  std::string_view Name(std::size_t i) const noexcept {
    return std::string_view(names_).substr(entries_[i].NameOffset, entries_[i].NameLength);
  }
  const Entry& At(std::size_t i) const noexcept { return entries_[i]; }

 private:
  std::string names_;
  std::vector<Entry> entries_;
};

class TFileSystem {
 public:
  virtual ~TFileSystem() = default;

  // Lists every entry of the directory at path (drive form, ending with
  // "\"), "." and ".." included, hidden ones included, in the host's order,
  // into listing. Sizes are read only when withSizes is set (they cost a
  // system call per entry); otherwise they are 0. Symbolic links are listed
  // as files and never followed. Returns false, with listing empty, when the
  // directory cannot be opened or lies beyond a mount that is not a fixed
  // disk.
  virtual bool ListDirectory(std::string_view path, bool withSizes, TDirectoryListing& listing) = 0;

  // The same for a caller that lists a directory now and then rather than
  // walking a tree: every component of the path is looked up on the disk
  // again, none taken over from an earlier listing, which a rename since
  // may have made another directory's.
  virtual bool ListDirectoryAfresh(std::string_view path, TDirectoryListing& listing) {
    return ListDirectory(path, false, listing);
  }

  // True when something exists at the drive-form path, its components
  // matched case-blind. A symbolic link counts as itself, dangling or not.
  // Safe to call from any thread, also while another lists directories.
  virtual bool FileExists(std::string_view path) const = 0;
};

}  // namespace varnoke::platform
