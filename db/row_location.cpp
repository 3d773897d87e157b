#include "db/row_location.h"

#include "db/memory_db.h"

namespace varnoke {

static_assert(TTwinOrdinals::kSoleName == platform::THostPathCache::kSoleName,
              "a component without a twin is marked alike on both sides");

TRowLocator::TRowLocator(TMemoryDB& db) : db_(db), twins_(db.DDList()) {}

bool TRowLocator::Locate(const char* name, TDirectoryRecord* directory, TRowLocation& location) {
  location.Ordinals.clear();
  if (name == nullptr) {
    location.DrivePath.clear();
    location.IsDirectory = false;
    return false;
  }
  location.DrivePath = db_.RowFullPath(name, directory);
  // A named row without a directory is a drive root. Otherwise the name's
  // address tells: a directory record's or a file entry's.
  location.IsDirectory = directory == nullptr || twins_.RowIsDirectory(name, directory);
  twins_.Compute(name, directory, location.IsDirectory, location.Ordinals);
  return true;
}

const std::string& HostPathOf(platform::THostPathCache& cache, const TRowLocation& location) {
  return cache.HostPath(location.DrivePath, location.Ordinals, location.IsDirectory);
}

std::string RowHostPath(TRowLocator& locator, platform::THostPathCache& cache, const char* name,
                        TDirectoryRecord* directory) {
  TRowLocation location;
  if (!locator.Locate(name, directory, location)) return std::string(kFileDeleted);
  return HostPathOf(cache, location);
}

}  // namespace varnoke
