// Reading a database file into a tree of its own: the file and its CRC
// read under the lock savers respect, checked, and parsed. Touches nothing
// but the host services, so that it can run on a thread of its own while
// the program starts (TPendingLoad); TMemoryDB::LoadFromFile puts the tree
// in place.
#pragma once

#include <future>
#include <memory>
#include <string>

#include "db/database_services.h"
#include "db/ddlist.h"
#include "db/file_report.h"

namespace varnoke {

// A file read into a tree, or why it was not.
struct TTreeRead {
  TFileReport Report;             // Loaded when Tree is there
  std::unique_ptr<TDDList> Tree;  // null when the file does not load
};

// Reads fileName and the setting "CRC32" and parses the file, its lookups
// built. A file that is missing, unreadable, empty, does not match its CRC
// or holds no well-formed tree gives no tree and says why. ERegistry from
// reading "CRC32" is not caught.
TTreeRead ReadTreeFile(platform::TDataFiles& dataFiles, settings::TSettingsStore& settings,
                       const std::string& fileName);

// ReadTreeFile of a file on a thread of its own, from construction on. The
// services are borrowed and must outlive it. Dropping it waits for the
// thread.
class TPendingLoad {
 public:
  TPendingLoad(const TDatabaseServices& services, std::string fileName);
  TPendingLoad(const TPendingLoad&) = delete;
  TPendingLoad& operator=(const TPendingLoad&) = delete;

  const std::string& FileName() const noexcept { return fileName_; }

  // Waits for the read and gives its result, once; throws what it threw.
  TTreeRead Take();

 private:
  std::string fileName_;
  std::future<TTreeRead> result_;
};

}  // namespace varnoke
