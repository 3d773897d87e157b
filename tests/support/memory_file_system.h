// A file system held in memory, for tests that need exact listing orders and
// failures on demand. Paths are in drive form with the names as the "disk"
// spells them; directories list ".", "..", then their entries in the order
// they were added.
#pragma once

#include <cctype>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace varnoke::testing {

class TMemoryFileSystem : public platform::TFileSystem {
 public:
  // Adds a directory at a path such as "C:\\A\\B" (and its parents).
  void AddDirectory(std::string_view path) { Directory(Normalize(path)); }

  // Adds a file at a path such as "C:\\A\\X.TXT" (and its directories).
  void AddFile(std::string_view path, std::uint32_t size = 0) {
    const std::size_t slash = path.rfind('\\');
    Directory(Normalize(path.substr(0, slash + 1)))
        .push_back({std::string(path.substr(slash + 1)), false, size});
  }

  // Adds an entry with any name at all, a "\\" in it included, to the
  // directory at path.
  void AddRawEntry(std::string_view directory, std::string_view name, bool isDirectory) {
    Directory(Normalize(directory)).push_back({std::string(name), isDirectory, 0});
  }

  // The directory at path cannot be opened from now on.
  void FailListing(std::string_view path) { failing_.insert(Normalize(path)); }

  // Called with the path of every listing, before it is made.
  std::function<void(std::string_view)> OnList;

  int ListCount() const { return listCount_; }

  // Removes the file or directory (with everything below it) at path.
  void Remove(std::string_view path) {
    const std::size_t slash = path.rfind('\\', path.size() - 2);
    auto& entries = Directory(Normalize(path.substr(0, slash + 1)));
    std::string name(path.substr(slash + 1));
    if (!name.empty() && name.back() == '\\') name.pop_back();
    std::erase_if(entries, [&](const Entry& e) { return e.name == name; });
    const std::string prefix = Normalize(path);
    std::erase_if(directories_, [&](const auto& d) { return d.first.rfind(prefix, 0) == 0; });
  }

  bool FileExists(std::string_view path) const override {
    ++existsCount_;
    const std::size_t slash = path.rfind('\\');
    if (slash == std::string_view::npos) return false;
    const std::string directory = Upper(path.substr(0, slash + 1));
    const std::string name = Upper(path.substr(slash + 1));
    for (const auto& [key, entries] : directories_) {
      if (Upper(key) != directory) continue;
      for (const Entry& entry : entries) {
        if (Upper(entry.name) == name) return true;
      }
    }
    return false;
  }
  bool LastWithSizes() const { return lastWithSizes_; }
  // How often FileExists was asked; with ListCount, every look at the disk.
  int ExistsCount() const { return existsCount_; }

  bool ListDirectory(std::string_view path, bool withSizes,
                     platform::TDirectoryListing& listing) override {
    listing.Clear();
    ++listCount_;
    lastWithSizes_ = withSizes;
    if (OnList) OnList(path);
    // Each component as the disk spells it, else the first entry that
    // equals it case-blind, as the Linux file system resolves them.
    const std::string key = Resolve(path);
    const auto it = directories_.find(key);
    if (it == directories_.end() || failing_.count(key) != 0) return false;
    listing.Add(".", platform::kFileAttributeDirectory, 0);
    listing.Add("..", platform::kFileAttributeDirectory, 0);
    for (const Entry& entry : it->second) {
      listing.Add(entry.name, entry.directory ? platform::kFileAttributeDirectory : 0,
                  withSizes ? entry.size : 0);
    }
    return true;
  }

 private:
  struct Entry {
    std::string name;
    bool directory;
    std::uint32_t size;
  };

  static std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
  }

  std::string Resolve(std::string_view path) const {
    const std::string exact = Normalize(path);
    if (directories_.count(exact) != 0) return exact;
    std::string key;
    std::size_t begin = 0;
    while (begin < exact.size()) {
      const std::size_t slash = exact.find('\\', begin);
      const std::string name = exact.substr(begin, slash - begin);
      begin = slash + 1;
      if (key.empty()) {  // the drive
        key = Upper(name) + '\\';
        continue;
      }
      const auto it = directories_.find(key);
      if (it == directories_.end()) return exact;
      const Entry* match = nullptr;
      for (const Entry& entry : it->second) {
        if (!entry.directory) continue;
        if (entry.name == name) {
          match = &entry;
          break;
        }
        if (match == nullptr && Upper(entry.name) == Upper(name)) match = &entry;
      }
      if (match == nullptr) return exact;
      key += match->name + '\\';
    }
    return key;
  }

  static std::string Normalize(std::string_view path) {
    std::string key(path);
    if (key.empty() || key.back() != '\\') key.push_back('\\');
    return key;
  }

  // The entries of the directory with the key "C:\\A\\", made with its
  // parents where missing.
  std::vector<Entry>& Directory(const std::string& key) {
    // Walks down from the drive root, making what is missing; no recursion,
    // so that trees of any depth fit.
    std::size_t end = key.find('\\') + 1;
    auto it = directories_.try_emplace(key.substr(0, end)).first;
    while (end < key.size()) {
      const std::size_t next = key.find('\\', end) + 1;
      auto [child, added] = directories_.try_emplace(key.substr(0, next));
      if (added) it->second.push_back({key.substr(end, next - end - 1), true, 0});
      it = child;
      end = next;
    }
    return it->second;
  }

  std::map<std::string, std::vector<Entry>> directories_;
  std::set<std::string> failing_;
  int listCount_ = 0;
  mutable int existsCount_ = 0;
  bool lastWithSizes_ = false;
};

}  // namespace varnoke::testing
