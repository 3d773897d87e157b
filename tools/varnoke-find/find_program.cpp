#include "tools/varnoke-find/find_program.h"

#include <unistd.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/machine_services.h"
#include "db/memory_db.h"
#include "db/pattern_folder.h"
#include "db/row_location.h"
#include "db/terminate.h"
#include "live/live_client.h"
#include "platform/drives/drive_overlaps.h"
#include "platform/drives/host_pattern.h"
#include "platform/files/host_path_cache.h"
#include "platform/hive/hive_file.h"
#include "platform/messages.h"
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

// Reads row i into location: its drive path always, the rest of its
// location when host paths are to be printed.
using TReadRow = std::function<void(std::size_t, TRowLocation&)>;

// Prints the rows that readRow gives for 0 to rows - 1, as options ask.
int PrintRows(TMachineServices* host, const TFindOptions& options, std::size_t rows,
              const TReadRow& readRow, std::FILE* out, std::FILE* err) {
  const char end = options.NulEnds ? '\0' : '\n';
  if (options.Count) {
    std::fprintf(out, "%zu%c", rows, end);
    return rows > 0 ? kRowsPrinted : kNoRows;
  }
  std::optional<platform::THostPathCache> hostPaths;
  if (!options.DriveForm) hostPaths.emplace(host->Drives);
  bool driveGone[26] = {};
  TRowLocation location;
  for (std::size_t i = 0; i < rows; ++i) {
    readRow(i, location);
    const std::string* text = &location.DrivePath;
    if (hostPaths) {
      const std::string& hostPath = HostPathOf(*hostPaths, location);
      const std::string& row = location.DrivePath;
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

// What is searched for: the pattern as given, or a Linux path's mapping to
// the drive form, whose folder must then be in the tree.
struct TSearch {
  std::string Pattern;
  bool FolderMustExist = false;
  std::string Folder;  // the Linux path's folder, as given
};

void TellFolderMissing(const TSearch& search, std::FILE* err) {
  std::fprintf(err, "varnoke-find: %s\n",
               platform::FormatMessage(platform::kMsgFolderNotIndexed, {search.Folder}).c_str());
}

// Rows printed, or kNoRows when the pattern's folder is not in the tree
// (said on err).
int SearchFile(TMachineServices& host, const TFindOptions& options, const TSearch& search,
               std::FILE* out, std::FILE* err) {
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
  db.Search(search.Pattern);
  if (options.Sort == TSortOrder::Name) db.SortByName();
  if (options.Sort == TSortOrder::Path) db.SortByPath();
  // The rows point into the tree, which tells twins apart by their order.
  std::lock_guard guard(db.Lock);
  if (db.ResultCount() == 0 && search.FolderMustExist && !HoldsPatternFolder(db, search.Pattern)) {
    TellFolderMissing(search, err);
    return kNoRows;
  }
  TRowLocator locator(db);
  const bool located = !options.DriveForm;
  return PrintRows(
      &host, options, static_cast<std::size_t>(db.ResultCount()),
      [&](std::size_t i, TRowLocation& location) {
        const char* name = db.ResultNames()[i];
        TDirectoryRecord* directory = db.ResultDirs()[i];
        if (located) {
          locator.Locate(name, directory, location);
        } else {
          location.DrivePath = db.RowFullPath(name, directory);
        }
      },
      out, err);
}

// The running program's answer, or nothing (with why told when verbose).
std::optional<live::TLiveAnswer> AskProgram(const TFindOptions& options, const TSearch& search,
                                            const std::string& socketName, std::FILE* err) {
  live::TLiveRequest request;
  request.Pattern = search.Pattern;
  request.Order = options.Sort == TSortOrder::Name   ? live::TLiveOrder::Name
                  : options.Sort == TSortOrder::Path ? live::TLiveOrder::Path
                                                     : live::TLiveOrder::None;
  request.CountOnly = options.Count;
  request.WithTwins = !options.DriveForm && !options.Count;
  request.TellMissingFolder = search.FolderMustExist;
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
  // Rows are read in order, each once: the twin text read with a row's
  // path is that row's.
  return PrintRows(
      host, options, static_cast<std::size_t>(answer.Rows),
      [&](std::size_t, TRowLocation& location) {
        const std::size_t end = answer.Paths.find('\0', at);
        location.DrivePath.assign(answer.Paths, at, end - at);
        at = end + 1;
        if (options.DriveForm) return;
        const std::size_t twinEnd = answer.Twins.find('\0', twinAt);
        const std::string_view twins =
            twinEnd == std::string::npos
                ? std::string_view()
                : std::string_view(answer.Twins).substr(twinAt, twinEnd - twinAt);
        twinAt = twinEnd == std::string::npos ? answer.Twins.size() : twinEnd + 1;
        if (!live::DecodeTwins(twins, platform::THostPathCache::kSoleName, location.Ordinals,
                               location.IsDirectory)) {
          location.Ordinals.clear();
          location.IsDirectory = false;
        }
      },
      out, err);
}

// The search for options' pattern: a Linux path is mapped to the drive
// form. Nothing, with why said on err, when its folder is on no drive.
std::optional<TSearch> SearchOf(const TFindOptions& options, TMachineServices* host,
                                std::FILE* err) {
  TSearch search;
  search.Pattern = *options.Pattern;
  if (!platform::IsHostPathPattern(search.Pattern)) return search;
  const platform::THostPattern mapped =
      platform::MapHostPattern(host->Drives, search.Pattern, platform::HomeFolder());
  search.Folder = mapped.Directory;
  switch (mapped.Kind) {
    case platform::THostPattern::TKind::Mapped:
      search.Pattern = mapped.DrivePattern;
      search.FolderMustExist = true;
      return search;
    case platform::THostPattern::TKind::NoDrive:
      std::fprintf(err, "varnoke-find: %s\n",
                   platform::FormatMessage(platform::kMsgNoDriveHolds,
                                           {mapped.Directory, host->Map.Folder()})
                       .c_str());
      return std::nullopt;
    case platform::THostPattern::TKind::Unindexable:
      TellFolderMissing(search, err);
      return std::nullopt;
  }
  return std::nullopt;
}

int Search(const TFindOptions& options, std::FILE* out, std::FILE* err,
           const std::string& socketName) {
  // The program's answer needs none of the machine's services unless the
  // pattern is a Linux path or the rows are to be shown as host paths.
  std::unique_ptr<TMachineServices> host;
  if (!options.DriveForm || platform::IsHostPathPattern(*options.Pattern))
    host = std::make_unique<TMachineServices>();
  const std::optional<TSearch> search = SearchOf(options, host.get(), err);
  if (!search) return kNoRows;
  std::optional<live::TLiveAnswer> answer;
  if (!options.FileOnly) answer = AskProgram(options, *search, socketName, err);
  int status = kFailed;
  if (answer && answer->FolderMissing) {
    TellFolderMissing(*search, err);
    status = kNoRows;
  } else if (answer) {
    status = PrintAnswer(host.get(), options, *answer, out, err);
  } else {
    if (host == nullptr) host = std::make_unique<TMachineServices>();
    status = SearchFile(*host, options, *search, out, err);
  }
  // Hidden names are left out by design: a search for one is told why it
  // found nothing.
  if (status == kNoRows && platform::NamesHiddenEntry(*options.Pattern)) {
    std::fprintf(err, "varnoke-find: %s\n",
                 std::string(platform::MessageText(platform::kMsgHiddenNotIndexed)).c_str());
  }
  return status;
}

}  // namespace

int RunFind(const TFindOptions& options, std::FILE* out, std::FILE* err,
            const std::atomic<bool>& cancel, const std::string& socketName) {
  try {
    int status = kFailed;
    if (options.Scan) {
      TMachineServices host;
      status = Scan(host, out, err, cancel);
    } else {
      status = Search(options, out, err, socketName);
    }
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
