#include "tools/varnoke-find/find_program.h"

#include <unistd.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/machine_services.h"
#include "db/memory_db.h"
#include "db/terminate.h"
#include "db/twin_ordinals.h"
#include "live/live_client.h"
#include "platform/drives/drive_overlaps.h"
#include "platform/files/host_path_cache.h"
#include "platform/hive/hive_file.h"
#include "tools/varnoke-find/text_progress.h"

namespace varnoke::find {
namespace {

constexpr const char* kDatabaseName = "memdb.dat";

std::string DatabasePath(const settings::TSettingsStore& store) {
  return store.ReadFolderSetting(settings::SettingsKey, "Directory") + "/" + kDatabaseName;
}

int Scan(TMachineServices& host, std::FILE* out, std::FILE* err, const std::atomic<bool>& cancel) {
  const std::string path = DatabasePath(host.Settings);
  TMemoryDB db(host.Services());
  for (const platform::TDriveOverlap& overlap : platform::FindDriveOverlaps(host.Drives))
    std::fprintf(err, "varnoke-find: %s\n", platform::DescribeDriveOverlap(overlap).c_str());
  TTextProgress progress(err, ::isatty(::fileno(err)) != 0, cancel, db.ScanCancelRequested);
  try {
    db.ScanDrives(path, progress);
  } catch (const ETerminate&) {
    progress.Finish();
    std::fprintf(err, "varnoke-find: scan cancelled; the database was left as it was\n");
    return kFailed;
  }
  progress.Finish();
  const std::size_t directories = db.DDList().DirectoryCount();
  const std::size_t files = db.DDList().FileCount();
  if (!db.SavedByLastScan()) {
    const TFileReport report = db.LastFileReport();
    if (report.Outcome == TFileOutcome::NoDrive) {
      std::fprintf(err,
                   "varnoke-find: no fixed drive was found, so %s was left as it was. The "
                   "drives are the links in %s; a drive whose disk is not recognised as fixed "
                   "can be declared so in %s, as \"c:\"=\"fixed\" under [%s]\n",
                   path.c_str(), host.Map.Folder().c_str(), host.Hive.Path().c_str(),
                   std::string(platform::kDrivesKey).c_str());
    } else {
      std::fprintf(err,
                   "varnoke-find: the scan found %zu directories and %zu files, but the "
                   "database could not be saved: %s; %s was left as it was\n",
                   directories, files, report.Reason.c_str(), path.c_str());
    }
    return kFailed;
  }
  std::fprintf(out, "%zu directories and %zu files in %s\n", directories, files, path.c_str());
  return kRowsPrinted;
}

// The host path of row i: the path alone, or with twins told apart where
// the row's place in the tree is known.
using THostPathOf =
    std::function<const std::string&(platform::THostPathCache&, std::size_t, const std::string&)>;

// Prints the rows that readRow gives for 0 to rows - 1, as options ask.
int PrintRows(TMachineServices* host, const TFindOptions& options, std::size_t rows,
              const std::function<void(std::size_t, std::string&)>& readRow, std::FILE* out,
              std::FILE* err, const THostPathOf& hostPathOf = nullptr) {
  const char end = options.NulEnds ? '\0' : '\n';
  if (options.Count) {
    std::fprintf(out, "%zu%c", rows, end);
    return rows > 0 ? kRowsPrinted : kNoRows;
  }
  std::optional<platform::THostPathCache> hostPaths;
  if (options.Host) hostPaths.emplace(host->Drives);
  bool driveGone[26] = {};
  std::string row;
  for (std::size_t i = 0; i < rows; ++i) {
    readRow(i, row);
    const std::string* text = &row;
    if (hostPaths) {
      const std::string& hostPath =
          hostPathOf ? hostPathOf(*hostPaths, i, row) : hostPaths->HostPath(row);
      if (!hostPath.empty()) {
        text = &hostPath;
      } else if (row.size() >= 2 && row[1] == ':' && row[0] >= 'A' && row[0] <= 'Z') {
        // The drive's link went after the scan: the row keeps its drive form.
        bool& told = driveGone[row[0] - 'A'];
        if (!told) {
          std::fprintf(err, "varnoke-find: drive %c: is gone; its rows are shown as saved\n",
                       row[0]);
          told = true;
        }
      }
    }
    std::fwrite(text->data(), 1, text->size(), out);
    std::fputc(end, out);
  }
  return rows > 0 ? kRowsPrinted : kNoRows;
}

int SearchFile(TMachineServices& host, const TFindOptions& options, std::FILE* out,
               std::FILE* err) {
  const std::string path = DatabasePath(host.Settings);
  TMemoryDB db(host.Services());
  if (!db.LoadFromFile(path)) {
    const TFileReport report = db.LastFileReport();
    switch (report.Outcome) {
      case TFileOutcome::Missing:
        std::fprintf(err,
                     "varnoke-find: there is no database yet at %s; run 'varnoke-find --scan' "
                     "to build it\n",
                     path.c_str());
        break;
      case TFileOutcome::Unreadable:
        std::fprintf(err, "varnoke-find: the database %s cannot be read: %s\n", path.c_str(),
                     report.Reason.c_str());
        break;
      default:
        std::fprintf(err,
                     "varnoke-find: the database does not match its checksum or is damaged: "
                     "%s; run 'varnoke-find --scan' to build it\n",
                     path.c_str());
        break;
    }
    return kFailed;
  }
  if (options.Verbose)
    std::fprintf(err, "varnoke-find: rows from the database file %s\n", path.c_str());
  db.Search(*options.Pattern);
  if (options.Sort == TSortOrder::Name) db.SortByName();
  if (options.Sort == TSortOrder::Path) db.SortByPath();
  // The rows point into the tree, which tells twins apart by their order.
  std::lock_guard guard(db.Lock);
  TTwinOrdinals twins(db.DDList());
  const bool directoryRows = !options.Pattern->empty() && options.Pattern->front() == '.';
  static_assert(TTwinOrdinals::kSoleName == platform::THostPathCache::kSoleName);
  std::vector<std::uint32_t> ordinals;
  const THostPathOf hostPathOf = [&](platform::THostPathCache& paths, std::size_t i,
                                     const std::string& row) -> const std::string& {
    if (!twins.Compute(db.ResultNames()[i], db.ResultDirs()[i], directoryRows, ordinals)) {
      return paths.HostPath(row);
    }
    return paths.HostPath(row, ordinals, directoryRows);
  };
  return PrintRows(
      &host, options, static_cast<std::size_t>(db.ResultCount()),
      [&db](std::size_t i, std::string& row) { row = db.ResultFullPath(static_cast<int>(i)); }, out,
      err, hostPathOf);
}

// The running program's answer, or nothing (with why told when verbose).
std::optional<live::TLiveAnswer> AskProgram(const TFindOptions& options,
                                            const std::string& socketName, std::FILE* err) {
  live::TLiveRequest request;
  request.Pattern = *options.Pattern;
  request.Order = options.Sort == TSortOrder::Name   ? live::TLiveOrder::Name
                  : options.Sort == TSortOrder::Path ? live::TLiveOrder::Path
                                                     : live::TLiveOrder::None;
  request.CountOnly = options.Count;
  request.WithTwins = options.Host && !options.Count;
  std::string problem;
  std::optional<live::TLiveAnswer> answer = live::AskRunningProgram(socketName, request, problem);
  if (options.Verbose) {
    if (answer)
      std::fprintf(err, "varnoke-find: rows from the running program\n");
    else
      std::fprintf(err, "varnoke-find: the running program did not answer (%s)\n", problem.c_str());
  }
  return answer;
}

int PrintAnswer(TMachineServices* host, const TFindOptions& options,
                const live::TLiveAnswer& answer, std::FILE* out, std::FILE* err) {
  std::size_t at = 0;
  std::size_t twinAt = 0;
  std::vector<std::uint32_t> ordinals;
  // Rows are read in order, each once: the twin text read with a row's
  // host path is that row's.
  const THostPathOf hostPathOf = [&](platform::THostPathCache& paths, std::size_t,
                                     const std::string& row) -> const std::string& {
    const std::size_t end = answer.Twins.find('\0', twinAt);
    const std::string_view twins =
        end == std::string::npos ? std::string_view()
                                 : std::string_view(answer.Twins).substr(twinAt, end - twinAt);
    twinAt = end == std::string::npos ? answer.Twins.size() : end + 1;
    bool isDirectory = false;
    if (!live::DecodeTwins(twins, platform::THostPathCache::kSoleName, ordinals, isDirectory))
      return paths.HostPath(row);
    return paths.HostPath(row, ordinals, isDirectory);
  };
  return PrintRows(
      host, options, static_cast<std::size_t>(answer.Rows),
      [&](std::size_t, std::string& row) {
        const std::size_t end = answer.Paths.find('\0', at);
        row.assign(answer.Paths, at, end - at);
        at = end + 1;
      },
      out, err, hostPathOf);
}

}  // namespace

int RunFind(const TFindOptions& options, std::FILE* out, std::FILE* err,
            const std::atomic<bool>& cancel, const std::string& socketName) {
  try {
    // The program's answer needs none of the machine's services unless the
    // rows are to be shown as host paths.
    std::optional<live::TLiveAnswer> answer;
    if (!options.Scan && !options.FileOnly) answer = AskProgram(options, socketName, err);
    std::unique_ptr<TMachineServices> host;
    if (!answer || options.Host) host = std::make_unique<TMachineServices>();
    int status = kFailed;
    if (options.Scan)
      status = Scan(*host, out, err, cancel);
    else if (answer)
      status = PrintAnswer(host.get(), options, *answer, out, err);
    else
      status = SearchFile(*host, options, out, err);
    if (std::fflush(out) != 0) {
      std::fprintf(err, "varnoke-find: cannot write the output\n");
      return kFailed;
    }
    return status;
  } catch (const settings::ERegistry& e) {
    std::fprintf(err, "varnoke-find: %s\n", e.what());
    return kFailed;
  } catch (const std::exception& e) {
    std::fprintf(err, "varnoke-find: %s\n", e.what());
    return kFailed;
  }
}

}  // namespace varnoke::find
