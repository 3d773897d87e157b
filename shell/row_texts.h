// The texts of a result row as the window shows them, in the form the user
// chose: Linux paths (as the disk spells them) or the drive form the
// database keeps. A row is read in two steps, so that the disk is never
// asked while the database's lock is held: a snapshot of the row under the
// lock, then its texts from the snapshot.
#pragma once

#include <string>

#include "db/row_location.h"

namespace varnoke {
class TMemoryDB;
}

namespace varnoke::platform {
class THostPathCache;
}

namespace varnoke::shell {

enum class TPathForm {
  Linux,  // /etc/adduser.conf, in the disk's letter case
  Drive,  // C:\ETC\ADDUSER.CONF, as the database stores it
};

struct TRowTexts {
  std::string Name;  // the Filename column
  std::string Path;  // the full path
};

// A row as the tree held it when it was read.
struct TRowSnapshot {
  enum class TKind { None, Blanked, Row };
  TKind Kind = TKind::None;  // None: no such row (the list is empty)
  std::string Name;          // the stored name
  TRowLocation Location;     // the drive path; twins only when located
};

// Reads row index of db's result list. Caller holds db.Lock; locator,
// which finds twins for the host form, may be null when only the drive
// form is wanted.
TRowSnapshot SnapshotRow(const TMemoryDB& db, TRowLocator* locator, int index);

// The texts of a snapshot in the form: "File Deleted" in both for a blanked
// row, empty texts for no row. A row whose drive has no root any more
// keeps its drive form.
TRowTexts TextsOf(const TRowSnapshot& row, TPathForm form, platform::THostPathCache& cache);

// The host path of a snapshot, as other programs open it: its drive form
// when its drive has no root, "File Deleted" for a blanked row, empty for
// no row. The snapshot must be located.
std::string HostPathOfRow(const TRowSnapshot& row, platform::THostPathCache& cache);

}  // namespace varnoke::shell
