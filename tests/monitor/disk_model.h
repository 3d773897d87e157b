// Random changes to a directory tree on the disk, with a record of what is
// there so that each change is one the disk allows: the workload of the
// live monitor tests.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace varnoke::testing {

class TDiskModel {
 public:
  TDiskModel(std::string root, std::string outside, std::uint32_t seed)
      : root_(std::move(root)), outside_(std::move(outside)), random_(seed) {}

  // Makes about the given number of directories and files at random.
  void Populate(int directories, int files) {
    for (int i = 0; i < directories; ++i)
      MakeDirectory(PickDirectory());
    for (int i = 0; i < files; ++i)
      MakeFile(PickDirectory());
  }

  // One random change of any kind.
  void Step() {
    const int kind = Pick(100);
    if (kind < 28) {
      MakeFile(PickDirectory());
    } else if (kind < 42) {
      DeleteFile();
    } else if (kind < 52) {
      MakeDirectory(PickDirectory());
    } else if (kind < 57) {
      RemoveEmptiedDirectory();
    } else if (kind < 65) {
      RenameFile(false);
    } else if (kind < 73) {
      RenameFile(true);
    } else if (kind < 77) {
      RenameOntoExisting();
    } else if (kind < 82) {
      RenameDirectory();
    } else if (kind < 86) {
      MoveOut();
    } else if (kind < 91) {
      MoveIn();
    } else {
      MakeChain();
    }
  }

  // Creates, then deletes, files in a burst: two events each.
  void Churn(int files) {
    const std::string directory = PickDirectory();
    for (int i = 0; i < files; ++i) {
      const std::string path = Join(directory, "churn" + std::to_string(i));
      Touch(root_ + "/" + path);
      ::unlink((root_ + "/" + path).c_str());
    }
  }

  void Touch(const std::string& host) {
    const int fd = ::open(host.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    if (fd >= 0) ::close(fd);
  }

  std::string Root() const { return root_; }

 private:
  static std::string Join(const std::string& directory, const std::string& name) {
    return directory.empty() ? name : directory + "/" + name;
  }
  static std::string Upper(std::string text) {
    for (char& c : text)
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
  }
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
  template <typename Set>
  std::string PickFrom(const Set& set) {
    auto it = set.begin();
    std::advance(it, Pick(static_cast<int>(set.size())));
    return *it;
  }
  std::string PickDirectory() { return Pick(10) == 0 || dirs_.empty() ? "" : PickFrom(dirs_); }
  // A name not in use, in any case, in the directory: names that differ
  // only in case are one name to the tree.
  std::string FreshName(const std::string& directory, const char* stem) {
    for (;;) {
      static const char* const kCase[] = {"", "Mixed", "UP"};
      std::string name = std::string(kCase[Pick(3)]) + stem + std::to_string(counter_++);
      if (Pick(3) == 0) name += ".txt";
      if (!Taken(Join(directory, name))) return name;
    }
  }
  bool Taken(const std::string& path) { return used_.count(Upper(path)) != 0; }
  void Use(const std::string& path) { used_.insert(Upper(path)); }
  void Free(const std::string& path) { used_.erase(Upper(path)); }

  void MakeFile(const std::string& directory) {
    const std::string path = Join(directory, FreshName(directory, "f"));
    Touch(root_ + "/" + path);
    files_.insert(path);
    Use(path);
  }
  void MakeDirectory(const std::string& directory) {
    const std::string path = Join(directory, FreshName(directory, "d"));
    if (::mkdir((root_ + "/" + path).c_str(), 0755) == 0) {
      dirs_.insert(path);
      Use(path);
    }
  }
  void DeleteFile() {
    if (files_.empty()) return;
    const std::string path = PickFrom(files_);
    ::unlink((root_ + "/" + path).c_str());
    files_.erase(path);
    Free(path);
  }
  // Everything below directory, as relative paths.
  std::vector<std::string> Below(const std::set<std::string>& set, const std::string& directory) {
    std::vector<std::string> below;
    const std::string prefix = directory + "/";
    for (auto it = set.lower_bound(prefix); it != set.end() && it->rfind(prefix, 0) == 0; ++it) {
      below.push_back(*it);
    }
    return below;
  }
  void Forget(const std::string& directory) {
    for (const std::string& f : Below(files_, directory)) {
      files_.erase(f);
      Free(f);
    }
    for (const std::string& d : Below(dirs_, directory)) {
      dirs_.erase(d);
      Free(d);
    }
    dirs_.erase(directory);
    Free(directory);
  }
  void RemoveEmptiedDirectory() {
    if (dirs_.empty()) return;
    const std::string directory = PickFrom(dirs_);
    // Empty it first, deepest entries first, as rm -r does.
    const std::vector<std::string> files = Below(files_, directory);
    for (const std::string& f : files)
      ::unlink((root_ + "/" + f).c_str());
    std::vector<std::string> dirs = Below(dirs_, directory);
    for (auto it = dirs.rbegin(); it != dirs.rend(); ++it)
      ::rmdir((root_ + "/" + *it).c_str());
    ::rmdir((root_ + "/" + directory).c_str());
    Forget(directory);
  }
  void RenameFile(bool across) {
    if (files_.empty()) return;
    const std::string from = PickFrom(files_);
    const std::size_t slash = from.rfind('/');
    const std::string directory =
        across ? PickDirectory() : (slash == std::string::npos ? "" : from.substr(0, slash));
    const std::string to = Join(directory, FreshName(directory, "r"));
    if (::rename((root_ + "/" + from).c_str(), (root_ + "/" + to).c_str()) == 0) {
      files_.erase(from);
      Free(from);
      files_.insert(to);
      Use(to);
    }
  }
  void RenameOntoExisting() {
    if (files_.size() < 2) return;
    const std::string from = PickFrom(files_);
    const std::string to = PickFrom(files_);
    if (from == to) return;
    if (::rename((root_ + "/" + from).c_str(), (root_ + "/" + to).c_str()) == 0) {
      files_.erase(from);
      Free(from);
    }
  }
  void RenameDirectory() {
    if (dirs_.empty()) return;
    const std::string from = PickFrom(dirs_);
    std::string target = PickDirectory();
    if (target == from || target.rfind(from + "/", 0) == 0) target = "";  // not into itself
    const std::string to = Join(target, FreshName(target, "m"));
    if (::rename((root_ + "/" + from).c_str(), (root_ + "/" + to).c_str()) != 0) return;
    std::vector<std::string> files = Below(files_, from);
    std::vector<std::string> dirs = Below(dirs_, from);
    Forget(from);
    const auto moved = [&](const std::string& p) { return to + p.substr(from.size()); };
    dirs_.insert(to);
    Use(to);
    for (const std::string& d : dirs) {
      dirs_.insert(moved(d));
      Use(moved(d));
    }
    for (const std::string& f : files) {
      files_.insert(moved(f));
      Use(moved(f));
    }
  }
  void MoveOut() {
    const bool directory = Pick(2) == 0 && !dirs_.empty();
    if (!directory && files_.empty()) return;
    const std::string from = directory ? PickFrom(dirs_) : PickFrom(files_);
    const std::string to = outside_ + "/out" + std::to_string(counter_++);
    if (::rename((root_ + "/" + from).c_str(), to.c_str()) != 0) return;
    if (directory) {
      Forget(from);
    } else {
      files_.erase(from);
      Free(from);
    }
  }
  void MoveIn() {
    // A small tree made outside, then moved in whole.
    const std::string made = outside_ + "/in" + std::to_string(counter_++);
    ::mkdir(made.c_str(), 0755);
    ::mkdir((made + "/inner").c_str(), 0755);
    Touch(made + "/a.txt");
    Touch(made + "/inner/b.txt");
    const std::string directory = PickDirectory();
    const std::string to = Join(directory, FreshName(directory, "i"));
    if (::rename(made.c_str(), (root_ + "/" + to).c_str()) != 0) return;
    for (const std::string& d : {to, to + "/inner"}) {
      dirs_.insert(d);
      Use(d);
    }
    for (const std::string& f : {to + "/a.txt", to + "/inner/b.txt"}) {
      files_.insert(f);
      Use(f);
    }
  }
  void MakeChain() {
    // mkdir -p a/b/c with files made in each at once.
    std::string directory = PickDirectory();
    for (int depth = 0; depth < 3; ++depth) {
      const std::string next = Join(directory, FreshName(directory, "p"));
      if (::mkdir((root_ + "/" + next).c_str(), 0755) != 0) return;
      dirs_.insert(next);
      Use(next);
      directory = next;
    }
    for (int i = 0; i < 3; ++i)
      MakeFile(directory);
  }

  std::string root_;
  std::string outside_;
  std::mt19937 random_;
  std::set<std::string> dirs_;
  std::set<std::string> files_;
  std::set<std::string> used_;  // upper-cased paths of everything there
  int counter_ = 0;
};

}  // namespace varnoke::testing
