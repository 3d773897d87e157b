#include "shell/row_texts.h"

#include "db/memory_db.h"
#include "platform/files/host_path_cache.h"

namespace varnoke::shell {
namespace {

// The last component of a host path; the root names itself.
std::string LastComponent(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash + 1 == path.size()) return path;
  return path.substr(slash + 1);
}

}  // namespace

TRowSnapshot SnapshotRow(const TMemoryDB& db, TRowLocator* locator, int index) {
  TRowSnapshot row;
  if (index < 0 || index >= db.ResultCount()) return row;
  const auto at = static_cast<std::size_t>(index);
  const char* name = db.ResultNames()[at];
  TDirectoryRecord* directory = db.ResultDirs()[at];
  if (name == nullptr) {
    row.Kind = TRowSnapshot::TKind::Blanked;
    return row;
  }
  row.Kind = TRowSnapshot::TKind::Row;
  row.Name = name;
  if (locator != nullptr) {
    locator->Locate(name, directory, row.Location);
  } else {
    row.Location.DrivePath = db.RowFullPath(name, directory);
  }
  return row;
}

TRowTexts TextsOf(const TRowSnapshot& row, TPathForm form, platform::THostPathCache& cache) {
  switch (row.Kind) {
    case TRowSnapshot::TKind::None:
      return {};
    case TRowSnapshot::TKind::Blanked:
      return {std::string(kFileDeleted), std::string(kFileDeleted)};
    case TRowSnapshot::TKind::Row:
      break;
  }
  if (form == TPathForm::Linux) {
    const std::string& host = varnoke::HostPathOf(cache, row.Location);
    if (!host.empty()) return {LastComponent(host), host};
  }
  return {row.Name, row.Location.DrivePath};
}

std::string HostPathOfRow(const TRowSnapshot& row, platform::THostPathCache& cache) {
  switch (row.Kind) {
    case TRowSnapshot::TKind::None:
      return {};
    case TRowSnapshot::TKind::Blanked:
      return std::string(kFileDeleted);
    case TRowSnapshot::TKind::Row:
      break;
  }
  const std::string& host = varnoke::HostPathOf(cache, row.Location);
  return host.empty() ? row.Location.DrivePath : host;
}

}  // namespace varnoke::shell
