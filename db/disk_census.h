// What the disk holds of one directory, counted by upper-cased name. The
// tree keeps names upper-cased, so "a.txt" and "A.TXT" are two entries of
// one name there; a census tells how many entries of each name and kind the
// disk has, and how it spells them, in the order it lists them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/file_system.h"

namespace varnoke {

class TDiskCensus {
 public:
  // Lists the directory at hostDirectory (drive form as the disk spells it,
  // ending with "\"), each component looked up afresh. Only the entries a
  // scan records count: none whose name starts with "." or holds a "\".
  // False, with the census empty, when the directory cannot be listed.
  bool Take(platform::TFileSystem& files, std::string_view hostDirectory);
  // The same from a listing made already.
  void Take(const platform::TDirectoryListing& listing);

  // How many entries of that kind (directories, or everything else) the
  // upper-cased name has.
  std::uint32_t Count(std::string_view upperName, bool directories) const;

  // The names of those entries as the disk spells them, in listing order.
  // The views live as long as the census is not taken again.
  std::vector<std::string_view> Spellings(std::string_view upperName, bool directories) const;

  // True when an entry of that kind is spelled exactly so.
  bool Holds(std::string_view spelling, bool directory) const;

  // Every counted entry, as the tree would name it: its kind, a "D" or an
  // "F", followed by its upper-cased name.
  std::vector<std::string> KindedNames() const;

 private:
  bool IsDirectory(std::uint32_t entry) const noexcept {
    return (listing_.At(entry).Attributes & platform::kFileAttributeDirectory) != 0;
  }
  // Indexes the counted entries of listing_ by upper-cased name.
  void Index();
  // The listing's entries of the upper-cased name, in listing order.
  std::vector<std::uint32_t> EntriesNamed(std::string_view upperName) const;

  platform::TDirectoryListing listing_;
  std::string upper_;  // every counted entry's upper-cased name, back to back
  // Counted entries by upper-cased name (views into upper_).
  std::unordered_multimap<std::string_view, std::uint32_t> byName_;
};

}  // namespace varnoke
