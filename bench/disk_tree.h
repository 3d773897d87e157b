// A generated tree on disk for the benchmarks that read real directories:
// made once under a cache folder and reused by later runs.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench/tree_generator.h"

namespace varnoke::bench {

struct TDiskTree {
  std::string root;
  std::size_t directories = 0;
  std::size_t files = 0;
};

// The generated tree as it lies on the disk: each directory's host path,
// parents before their children (the root's is root), and its files' host
// names.
struct TDiskLayout {
  std::vector<std::string> Paths;
  std::vector<std::vector<std::string>> Files;
};

inline TDiskLayout DiskTreeLayout(const std::string& root, std::size_t directories,
                                  std::size_t files) {
  TTreeGenerator generator(2026);
  std::vector<TGeneratedDirectory> dirs = generator.Generate(directories, files);
  // Host names in mixed case, as a real disk has them.
  const auto host = [](const std::string& name) {
    std::string out = name;
    for (std::size_t i = 1; i < out.size(); ++i) {
      if (out[i] >= 'A' && out[i] <= 'Z' && (i % 3) != 0) out[i] = static_cast<char>(out[i] + 32);
    }
    return out;
  };
  TDiskLayout layout;
  layout.Paths.resize(dirs.size());
  layout.Files.resize(dirs.size());
  layout.Paths[0] = root;
  for (std::size_t i = 1; i < dirs.size(); ++i)
    layout.Paths[i] =
        layout.Paths[dirs[i].Parent] + "/" + host(dirs[i].Name) + "-" + std::to_string(i);
  for (std::size_t i = 0; i < dirs.size(); ++i) {
    for (const std::string& name : dirs[i].Files)
      layout.Files[i].push_back(host(name));
  }
  return layout;
}

// Creates the tree below folder (which must not hold anything else) unless
// a finished one is there already.
inline TDiskTree EnsureDiskTree(const std::string& folder, std::size_t directories,
                                std::size_t files) {
  TDiskTree tree{folder + "/tree", directories, files};
  const std::string marker =
      folder + "/complete-" + std::to_string(directories) + "-" + std::to_string(files);
  if (::access(marker.c_str(), F_OK) == 0) return tree;

  std::fprintf(stderr, "generating %zu directories and %zu files in %s ...\n", directories, files,
               tree.root.c_str());
  const std::string clean =
      "rm -rf --one-file-system -- '" + tree.root + "' && mkdir -p -- '" + folder + "'";
  if (std::system(clean.c_str()) != 0) return tree;
  const TDiskLayout layout = DiskTreeLayout(tree.root, directories, files);
  // Parents come before their children.
  for (const std::string& path : layout.Paths)
    ::mkdir(path.c_str(), 0755);
  for (std::size_t i = 0; i < layout.Paths.size(); ++i) {
    const int fd = ::open(layout.Paths[i].c_str(), O_RDONLY | O_DIRECTORY);
    for (const std::string& name : layout.Files[i]) {
      const int file = ::openat(fd, name.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
      if (file >= 0) ::close(file);
    }
    ::close(fd);
  }
  std::ofstream(marker) << "ok\n";
  return tree;
}

}  // namespace varnoke::bench
