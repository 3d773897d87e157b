// Which of its twins each component of a row's path is. The tree keeps
// names upper-cased, so "a.txt" and "A.TXT" of one directory are two
// entries of the same name; only their order tells them apart. A scan adds
// a directory's subdirectories in the order the disk lists them, so the
// k-th record of a name among its siblings is the k-th listed directory of
// that name. File entries of one name are told apart the same way; which
// of two identical entries stands for which file does not matter, only
// that each stands for a file of its own.
#pragma once

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "db/ddlist.h"
#include "db/tree_records.h"

namespace varnoke {

class TTwinOrdinals {
 public:
  // Marks a component without a twin, a name no other entry of its
  // directory has, whatever its kind.
  static constexpr std::uint32_t kSoleName = 0xFFFFFFFFu;

  // list is borrowed; the caller holds TMemoryDB::Lock for as long as this
  // object lives, and the tree must not change meanwhile.
  explicit TTwinOrdinals(TDDList& list) : list_(list) {}

  // Fills ordinals with one value per component of the row's path below
  // its drive root: the directories of directory's chain, then the row's
  // name, the address a result row holds (a file entry's name, or with
  // nameIsDirectory a directory record's). Each is kSoleName or the count
  // of earlier siblings of the same name and kind. Returns false, with
  // ordinals empty, when no component has a twin.
  bool Compute(const char* name, TDirectoryRecord* directory, bool nameIsDirectory,
               std::vector<std::uint32_t>& ordinals);

  // True when the row's name is a directory record's, as the rows of a
  // directory-name search are; false for a file entry's and a blanked row.
  bool RowIsDirectory(const char* name, TDirectoryRecord* directory);

 private:
  std::uint32_t DirectoryOrdinal(TDirectoryRecord* record);
  void GroupChildren(TDirectoryRecord* parent);
  std::uint32_t FileOrdinal(const char* name, TDirectoryRecord* directory);
  TDirectoryRecord* RecordOfName(const char* name, TDirectoryRecord* parent);

  TDDList& list_;
  std::unordered_map<const TDirectoryRecord*, std::uint32_t> directoryOrdinals_;
  std::vector<TDirectoryRecord*> children_;
  std::vector<TDirectoryRecord*> chain_;
};

}  // namespace varnoke
