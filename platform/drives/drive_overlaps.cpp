#include "platform/drives/drive_overlaps.h"

#include <optional>
#include <string_view>

namespace varnoke::platform {
namespace {

// The part of path below root, or nothing when root does not hold it.
std::optional<std::string_view> Below(std::string_view path, std::string_view root) {
  if (root == "/") return path.substr(1);
  if (path.rfind(root, 0) != 0) return std::nullopt;
  if (path.size() == root.size()) return path.substr(path.size());
  if (path[root.size()] != '/') return std::nullopt;
  return path.substr(root.size() + 1);
}

}  // namespace

std::vector<TDriveOverlap> FindDriveOverlaps(const TLinuxDrives& drives) {
  struct TRoot {
    char letter;
    std::string host;
  };
  std::vector<TRoot> roots;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const std::string root{letter, ':', '\\'};
    if (drives.GetDriveType(root) != TDriveType::Fixed) continue;
    std::string host = drives.HostRoot(letter);
    if (!host.empty()) roots.push_back({letter, std::move(host)});
  }
  // A drive whose root is an earlier drive's holds nothing of its own, so it
  // is no holder of other drives' folders either.
  std::vector<bool> duplicate(roots.size(), false);
  for (std::size_t i = 0; i < roots.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (roots[i].host == roots[j].host) duplicate[i] = true;
    }
  }
  std::vector<TDriveOverlap> overlaps;
  for (const TRoot& inner : roots) {
    for (std::size_t o = 0; o < roots.size(); ++o) {
      const TRoot& outer = roots[o];
      if (inner.letter == outer.letter || duplicate[o]) continue;
      const std::optional<std::string_view> rest = Below(inner.host, outer.host);
      if (!rest) continue;
      const bool same = rest->empty();
      // Two links to one folder: only the pair in letter order, once.
      if (same && inner.letter < outer.letter) continue;
      TDriveOverlap overlap;
      overlap.Letter = inner.letter;
      overlap.Holder = outer.letter;
      overlap.HolderPath = std::string{outer.letter, ':', '\\'};
      for (const char c : *rest)
        overlap.HolderPath += c == '/' ? '\\' : c;
      if (!same) overlap.HolderPath += '\\';
      overlap.Keeper = same ? outer.letter : inner.letter;
      overlaps.push_back(std::move(overlap));
    }
  }
  return overlaps;
}

std::string DescribeDriveOverlap(const TDriveOverlap& overlap) {
  const std::string letter{overlap.Letter, ':'};
  const std::string keeper{overlap.Keeper, ':'};
  if (overlap.HolderPath.size() == 3) {
    return "drive " + letter + " is the same folder as " + overlap.HolderPath +
           "; its contents are kept under " + keeper + " only";
  }
  return "drive " + letter + " is the folder " + overlap.HolderPath +
         "; its contents are kept under " + keeper + " only";
}

}  // namespace varnoke::platform
