// Files for a test's disk: a file below a folder, with the folders on its
// way made as needed.
#pragma once

#include <sys/stat.h>

#include <fstream>
#include <string>

namespace varnoke::testing {

// root/relative ("a/b.txt") holding content, its folders made first.
inline void MakeFileBelow(const std::string& root, const std::string& relative,
                          const std::string& content = "") {
  std::string folder = root;
  std::size_t begin = 0;
  for (std::size_t slash; (slash = relative.find('/', begin)) != std::string::npos;
       begin = slash + 1) {
    folder += "/" + relative.substr(begin, slash - begin);
    ::mkdir(folder.c_str(), 0755);
  }
  std::ofstream(root + "/" + relative, std::ios::binary) << content;
}

}  // namespace varnoke::testing
