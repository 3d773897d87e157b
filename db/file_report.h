// How the last load or save of the database file ended, for callers that
// tell the user why.
#pragma once

#include <string>

namespace varnoke {

enum class TFileOutcome {
  None,        // nothing loaded or saved yet
  Loaded,      // the tree is the file's
  Saved,       // the file and its CRC hold the tree
  Missing,     // load: there is no file
  Unreadable,  // load: the file cannot be opened or read
  Damaged,     // load: empty, not matching "CRC32", or not a tree
  NotSaved,    // save: a step failed; the old file and its CRC stand
  NoDrive,     // save refused: the tree is a scan's that found no drive
  Busy,        // refused: a drive scan is walking the tree
};

struct TFileReport {
  TFileOutcome Outcome = TFileOutcome::None;
  std::string Reason;  // for the user; empty after a success
};

}  // namespace varnoke
