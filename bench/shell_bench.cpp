// The search window and the progress window against the work they show, in
// the same run: a search of 1,000,000 names with its first paint against the
// search alone, and a scan with the progress window up against the same scan
// with no window.
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <cstdlib>
#include <string>

#include "bench/bench_util.h"
#include "bench/disk_tree.h"
#include "bench/null_desktop.h"
#include "bench/null_services.h"
#include "bench/scratch_config.h"
#include "bench/tree_drive.h"
#include "bench/tree_fill.h"
#include "db/memory_db.h"
#include "shell/about.h"
#include "shell/host_services.h"
#include "shell/program.h"
#include "shell/result_grid.h"
#include "shell/scan_progress.h"
#include "shell/uiform.h"

namespace varnoke::bench {
namespace {

constexpr int kRuns = 5;

void SearchFigures() {
  TAllFixed drives;
  TNoFiles noFiles;
  TNoDataFiles noDataFiles;
  TNoRegistry noRegistry;
  settings::TSettingsStore settings(noRegistry);
  shell::THostServices host;
  TNoDesktop desktop;
  shell::TProgram program(host, desktop);
  program.CreateWindows();
  program.MemoryDB =
      std::make_unique<TMemoryDB>(TDatabaseServices{drives, noFiles, noDataFiles, settings});
  TMemoryDB& db = *program.MemoryDB;
  FillGenerated(db, 100'000, 1'000'000);
  shell::TFormui& form = program.Form();
  form.SetDatabase(&db);
  form.show();
  form.editSearchFilename->setText(QStringLiteral("*.TXT"));

  const double searchMs = BestMs(kRuns, [&] { db.Search("*.TXT"); });
  const double paintedMs = BestMs(kRuns, [&] {
    form.RunSearch();
    KeepValue(form.gridSearchResults->viewport()->grab());  // the first paint of the rows on view
  });
  const double runMs = BestMs(kRuns, [&] { form.RunSearch(); });
  const double gridPaintMs =
      BestMs(kRuns, [&] { KeepValue(form.gridSearchResults->viewport()->grab()); });
  Report("run_search_ms", runMs);
  Report("grid_paint_ms", gridPaintMs);
  Report("search_hits", db.ResultCount());
  Report("search_ms", searchMs);
  Report("search_with_paint_ms", paintedMs);
  Report("search_paint_vs_search_ratio", paintedMs / searchMs);
  form.SetDatabase(nullptr);
  program.MemoryDB.reset();
}

void ScanFigures() {
  const char* base = std::getenv("VARNOKE_BENCH_DIR");
  const std::string folder = base != nullptr ? base : "/tmp/varnoke-bench";
  const TDiskTree tree = EnsureDiskTree(folder + "/scan", 100'000, 900'000);
  const std::string links = folder + "/shell-dosdevices";
  if (!LinkDriveC(links, tree.root)) return;
  TTreeDrive drive(links);
  TMemoryDB db(drive.Services());

  TQuietObserver quiet;
  db.ScanDrives("memdb.dat", quiet);  // hot cache from here on
  const double bareMs = BestMs(kRuns, [&] { db.ScanDrives("memdb.dat", quiet); });
  shell::TFormAbout about;
  about.SetSplashMode(shell::TSplashMode::ModelessScan);
  const double windowMs = BestMs(kRuns, [&] {
    shell::TScanProgress progress(about);
    db.ScanDrives("memdb.dat", progress);
  });
  about.CloseSplash();
  Report("scan_entries",
         static_cast<double>(db.DDList().DirectoryCount() + db.DDList().FileCount()));
  Report("scan_no_window_ms", bareMs);
  Report("scan_with_window_ms", windowMs);
  Report("app_scan_vs_scan_ratio", windowMs / bareMs);
}

}  // namespace
}  // namespace varnoke::bench

int main(int argc, char** argv) {
  // The program's own windows, drawn as on a screen, with no display needed.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // Nothing here reads or saves settings, but the services are made over a
  // scratch folder all the same.
  const varnoke::bench::TScratchConfig scratch;
  QApplication app(argc, argv);
  varnoke::bench::SearchFigures();
  if (argc < 2) varnoke::bench::ScanFigures();
  return 0;
}
