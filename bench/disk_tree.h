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
  TTreeGenerator generator(2026);
  const std::vector<TGeneratedDirectory> dirs = generator.Generate(directories, files);
  // Host names in mixed case, as a real disk has them.
  const auto host = [](const std::string& name) {
    std::string out = name;
    for (std::size_t i = 1; i < out.size(); ++i) {
      if (out[i] >= 'A' && out[i] <= 'Z' && (i % 3) != 0) out[i] = static_cast<char>(out[i] + 32);
    }
    return out;
  };
  std::vector<std::string> paths(dirs.size());
  paths[0] = tree.root;
  ::mkdir(tree.root.c_str(), 0755);
  // Parents come before their children in the generated order.
  for (std::size_t i = 1; i < dirs.size(); ++i) {
    paths[i] = paths[dirs[i].Parent] + "/" + host(dirs[i].Name) + "-" + std::to_string(i);
    ::mkdir(paths[i].c_str(), 0755);
  }
  for (std::size_t i = 0; i < dirs.size(); ++i) {
    const int fd = ::open(paths[i].c_str(), O_RDONLY | O_DIRECTORY);
    for (const std::string& name : dirs[i].Files) {
      const int file = ::openat(fd, host(name).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
      if (file >= 0) ::close(file);
    }
    ::close(fd);
  }
  std::ofstream(marker) << "ok\n";
  return tree;
}

}  // namespace varnoke::bench
