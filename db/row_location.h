// A result row's host path: the path other programs open, and the path the
// window shows in its Linux form. The window, varnoke-find and the clients
// of the live server all read rows through the one function here, so that
// they agree on twins, directory rows and deleted rows.
//
// A row's host path is made from its drive-form path, which of its twins
// each component is, and whether the row shows a directory. The tree knows
// these (Locate); the disk spells them (HostPathOf). Between the two the
// parts may travel, as the live server sends them to its clients.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "db/twin_ordinals.h"
#include "platform/files/host_path_cache.h"

namespace varnoke {

class TMemoryDB;

struct TRowLocation {
  // The row's full path in drive form, as ResultFullPath reads it.
  std::string DrivePath;
  // One per component below the drive root, as TTwinOrdinals gives them;
  // empty when no component has a twin.
  std::vector<std::uint32_t> Ordinals;
  // The row shows a directory: a directory-name search's row, or a drive
  // root.
  bool IsDirectory = false;
};

class TRowLocator {
 public:
  // db is borrowed. The caller holds db.Lock for as long as this object
  // lives, and the tree does not change meanwhile.
  explicit TRowLocator(TMemoryDB& db);

  // What the row (a name and a directory, as a result row holds them) is
  // found by on the disk. False for a blanked row, which has no path.
  bool Locate(const char* name, TDirectoryRecord* directory, TRowLocation& location);

 private:
  TMemoryDB& db_;
  TTwinOrdinals twins_;
};

// The host form of a located row, as cache resolves it against the disk;
// empty when the row's drive has no root (its link is gone).
const std::string& HostPathOf(platform::THostPathCache& cache, const TRowLocation& location);

// The host path of a row: HostPathOf its location; kFileDeleted's text for
// a blanked row; empty when the row's drive has no root. Caller holds
// Lock as TRowLocator says.
std::string RowHostPath(TRowLocator& locator, platform::THostPathCache& cache, const char* name,
                        TDirectoryRecord* directory);

}  // namespace varnoke
