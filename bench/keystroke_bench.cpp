// The search window as the user types, in the same run as the work it waits
// for:
// - keystroke_results_ms_p50 / _p99: from a key in the search box to the
//   grid painting the rows of that text (or of a later key's), over typed
//   patterns on a tree of 1,000,000 files while a monitor thread applies
//   change reports; the peer is the search alone for the same texts.
// - keystroke_results_10m_ms_p99 and keystroke_echo_10m_ms_p99 on
//   10,000,000 files: the rows, and the key showing in the box.
// - host_paint_vs_drive_paint_ratio: painting screenfuls of rows of a real
//   disk's tree in host form against drive form.
// "--quick" leaves out the 10,000,000-file figures, "--paint" runs the
// paint figures alone.
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_util.h"
#include "bench/disk_tree.h"
#include "bench/null_desktop.h"
#include "bench/null_services.h"
#include "bench/scratch_config.h"
#include "bench/tree_drive.h"
#include "bench/tree_fill.h"
#include "db/memory_db.h"
#include "shell/host_services.h"
#include "shell/program.h"
#include "shell/result_grid.h"
#include "shell/result_model.h"
#include "shell/uiform.h"

namespace varnoke::bench {
namespace {

double Ms(TClock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(at, values.size() - 1)];
}

// Texts typed key by key; each names files of the generated tree.
const std::vector<std::string> kTyped = {"*.txt", "ab*.pdf", "c:\\d3\\*.ini", "x*_*.js",
                                         "*-9*.dll"};
// A fast typist: a key every 80 ms.
constexpr auto kKeyGap = std::chrono::milliseconds(80);

// Watches the paints of the search box and of the grid.
class TPaintWatch : public QObject {
 public:
  TPaintWatch(QWidget* box, QWidget* grid) : box_(box), grid_(grid) {
    box->installEventFilter(this);
    grid->installEventFilter(this);
  }
  TClock::time_point boxPainted;
  TClock::time_point gridPainted;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      if (watched == box_) boxPainted = TClock::now();
      if (watched == grid_) gridPainted = TClock::now();
    }
    return false;
  }

 private:
  QWidget* box_;
  QWidget* grid_;
};

// Applies change reports to the database at idle priority, as the monitor
// thread does, and tells the window of each.
class TReportFlood {
 public:
  TReportFlood(TMemoryDB& db, shell::TFormui& form) {
    thread_ = std::thread([this, &db, &form] {
      sched_param none{};
      ::sched_setscheduler(0, SCHED_IDLE, &none);
      for (std::uint64_t n = 0; !stop_; ++n) {
        const std::string path =
            "C:\\D" + std::to_string(1 + n % 20) + "\\REPORT" + std::to_string(n % 500) + ".TMP";
        if ((n / 500) % 2 == 0) {
          db.ApplyFileCreate(path);
        } else {
          db.ApplyDelete(path);
        }
        form.ReportApplied();
        ++applied;
        std::this_thread::sleep_for(std::chrono::microseconds(500));
      }
    });
  }
  ~TReportFlood() {
    stop_ = true;
    thread_.join();
  }
  std::atomic<std::uint64_t> applied{0};

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Runs the event loop until something happened or deadline came, sleeping
// meanwhile as the program's own loop does: a loop that spins would take a
// core from the searches it measures.
void WaitForEvents(TClock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now());
  QTimer wake;
  wake.setSingleShot(true);
  wake.start(std::max<int>(0, static_cast<int>(left.count())));
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

struct TTyping {
  std::vector<double> results;  // key to the grid painting its rows, ms
  std::vector<double> echoes;   // key to the box painting it, ms
};

// Types each text key by key into the window, a key every kKeyGap, and
// measures every key's echo and rows.
TTyping TypeInto(shell::TFormui& form, int rounds) {
  QLineEdit& box = *form.editSearchFilename;
  shell::TResultGrid& grid = *form.gridSearchResults;
  TPaintWatch watch(&box, grid.viewport());
  TTyping typing;
  const auto settle = [&](const std::string& text, TClock::duration limit) {
    const auto end = TClock::now() + limit;
    while (form.ShownSearch().Text != text && TClock::now() < end)
      WaitForEvents(end);
  };
  for (int round = 0; round < rounds; ++round) {
    for (const std::string& typed : kTyped) {
      box.clear();
      settle("", std::chrono::seconds(30));
      std::vector<TClock::time_point> sent;
      std::vector<bool> echoed, shown;
      for (std::size_t k = 0; k < typed.size(); ++k) {
        const QString key = QString::fromStdString(typed.substr(k, 1));
        const TClock::time_point at = TClock::now();
        sent.push_back(at);
        echoed.push_back(false);
        shown.push_back(false);
        QCoreApplication::postEvent(&box, new QKeyEvent(QEvent::KeyPress, 0, Qt::NoModifier, key));
        QCoreApplication::postEvent(&box,
                                    new QKeyEvent(QEvent::KeyRelease, 0, Qt::NoModifier, key));
        // Until the next key is due (and after the last one, until every
        // key has its rows), the window runs as it would.
        const bool last = k + 1 == typed.size();
        const auto until = last ? at + std::chrono::seconds(60) : at + kKeyGap;
        while (TClock::now() < until) {
          WaitForEvents(until);
          const std::size_t shownLength = form.ShownSearch().Text.size();
          const std::size_t boxLength = static_cast<std::size_t>(box.text().size());
          for (std::size_t i = 0; i <= k; ++i) {
            if (!echoed[i] && boxLength > i && watch.boxPainted > sent[i]) {
              echoed[i] = true;
              typing.echoes.push_back(Ms(watch.boxPainted - sent[i]));
            }
            if (!shown[i] && shownLength > i &&
                form.ShownSearch().Text == typed.substr(0, shownLength) &&
                watch.gridPainted > sent[i]) {
              shown[i] = true;
              typing.results.push_back(Ms(watch.gridPainted - sent[i]));
            }
          }
          if (last && shown[k]) break;
        }
      }
    }
  }
  return typing;
}

struct TWindow {
  explicit TWindow(std::size_t directories, std::size_t files) {
    program.CreateWindows();
    program.MemoryDB = std::make_unique<TMemoryDB>(nullServices.Services());
    FillGenerated(*program.MemoryDB, directories, files);
    program.Form().SetDatabase(program.MemoryDB.get());
    program.Form().show();
  }
  ~TWindow() {
    program.Form().SetDatabase(nullptr);
    program.MemoryDB.reset();
  }
  TMemoryDB& Db() { return *program.MemoryDB; }

  TNullServices nullServices;
  shell::THostServices host;
  TNoDesktop desktop;
  shell::TProgram program{host, desktop};
};

// The search alone for every text the typing searches.
std::vector<double> SearchAlone(TMemoryDB& db) {
  std::vector<double> times;
  for (const std::string& typed : kTyped) {
    for (std::size_t k = 1; k <= typed.size(); ++k)
      times.push_back(BestMs(1, [&] { db.Search(typed.substr(0, k)); }));
  }
  return times;
}

void MillionFigures() {
  TWindow window(100'000, 1'000'000);
  const std::vector<double> alone = SearchAlone(window.Db());
  TTyping typing;
  std::uint64_t reports = 0;
  {
    TReportFlood flood(window.Db(), window.program.Form());
    typing = TypeInto(window.program.Form(), 4);
    reports = flood.applied;
  }
  const double p50 = Percentile(typing.results, 0.5);
  Report("keystroke_results_ms_p50", p50);
  Report("keystroke_results_ms_p99", Percentile(typing.results, 0.99));
  Report("keystroke_echo_ms_p99", Percentile(typing.echoes, 0.99));
  Report("keystroke_keys", static_cast<double>(typing.results.size()));
  Report("keystroke_reports_applied", static_cast<double>(reports));
  Report("keystroke_search_alone_ms_p50", Percentile(alone, 0.5));
  Report("keystroke_search_alone_ms_p99", Percentile(alone, 0.99));
  Report("keystroke_results_vs_search_ratio", p50 / std::max(0.001, Percentile(alone, 0.5)));
}

void TenMillionFigures() {
  TWindow window(1'000'000, 10'000'000);
  const std::vector<double> alone = SearchAlone(window.Db());
  const TTyping typing = TypeInto(window.program.Form(), 1);
  Report("keystroke_results_10m_ms_p99", Percentile(typing.results, 0.99));
  Report("keystroke_echo_10m_ms_p99", Percentile(typing.echoes, 0.99));
  Report("keystroke_search_alone_10m_ms_p50", Percentile(alone, 0.5));
  Report("keystroke_search_alone_10m_ms_p99", Percentile(alone, 0.99));
}

// Paints the grid screen by screen down the rows, each screen's texts
// read afresh; milliseconds for all of them.
double PaintScreens(shell::TFormui& form, int screens) {
  shell::TResultGrid& grid = *form.gridSearchResults;
  const int step = grid.RowsOnView();
  return BestMs(1, [&] {
    for (int screen = 0; screen < screens; ++screen) {
      grid.scrollTo(grid.model()->index(std::min(screen * step, grid.model()->rowCount() - 1), 0),
                    QAbstractItemView::PositionAtTop);
      KeepValue(grid.viewport()->grab());
    }
  });
}

void PaintFigures(const std::string& scratch) {
  const char* base = std::getenv("VARNOKE_BENCH_DIR");
  const std::string folder = base != nullptr ? base : "/tmp/varnoke-bench";
  const TDiskTree tree = EnsureDiskTree(folder + "/scan", 100'000, 900'000);
  // The program's drive map: C: is the tree's root.
  const std::string links = scratch + "/varnoke/dosdevices";
  ::mkdir(scratch.c_str(), 0755);
  ::mkdir((scratch + "/varnoke").c_str(), 0755);
  if (!LinkDriveC(links, tree.root)) return;
  TTreeDrive drive(links);
  shell::THostServices host;
  TNoDesktop desktop;
  shell::TProgram program(host, desktop);
  program.CreateWindows();
  program.MemoryDB = std::make_unique<TMemoryDB>(drive.Services());
  TQuietObserver quiet;
  program.MemoryDB->ScanDrives("memdb.dat", quiet);
  shell::TFormui& form = program.Form();
  form.SetDatabase(program.MemoryDB.get());
  form.show();
  form.editSearchFilename->setText(QStringLiteral("*.TXT"));
  form.RunSearch();
  constexpr int kScreens = 60;
  double drive_ = 1e300;
  double host_ = 1e300;
  for (int run = 0; run < 3; ++run) {
    // Each pass starts from a new search, with no row read yet and no
    // folder of the disk looked at.
    form.SetPathForm(shell::TPathForm::Drive);
    form.RunSearch();
    drive_ = std::min(drive_, PaintScreens(form, kScreens));
    form.SetPathForm(shell::TPathForm::Linux);
    form.gridSearchResults->Model().ForgetHostPaths();
    form.RunSearch();
    host_ = std::min(host_, PaintScreens(form, kScreens));
  }
  Report("drive_paint_screen_ms", drive_ / kScreens);
  Report("host_paint_screen_ms", host_ / kScreens);
  Report("host_paint_vs_drive_paint_ratio", host_ / drive_);
  form.SetDatabase(nullptr);
  program.MemoryDB.reset();
}

}  // namespace
}  // namespace varnoke::bench

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  // The scratch folder also holds the drive map of the paint figures.
  const varnoke::bench::TScratchConfig scratch;
  QApplication app(argc, argv);
  const std::string only = argc > 1 ? argv[1] : "";
  if (only.empty() || only == "--quick" || only == "--paint")
    varnoke::bench::PaintFigures(scratch.Folder);
  if (only.empty() || only == "--quick") varnoke::bench::MillionFigures();
  if (only.empty()) varnoke::bench::TenMillionFigures();
  return 0;
}
