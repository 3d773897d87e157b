// The search window's Linux face: names and paths as the disk spells them
// or in drive form (the View menu, remembered), Linux paths in patterns,
// results that follow typing, the grid's columns, and the one way from a
// result row to its host path shared with varnoke-find.
#include <QAction>
#include <QClipboard>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>
#include <algorithm>
#include <cstdlib>
#include <mutex>

#include "live/live_protocol.h"
#include "live/live_server.h"
#include "platform/messages.h"
#include "shell/result_grid.h"
#include "shell/result_model.h"
#include "shell/search_runner.h"
#include "tests/shell/started_program.h"
#include "tests/support/process.h"
#include "tests/support/recording_observer.h"

using namespace varnoke;
using namespace varnoke::testing;

namespace {

const std::vector<std::string> kFiles = {"docs/readme.txt", "docs/Notes.TXT",
                                         "docs/sub/b.txt",  "Straße/Ünïcode-Éé.txt",
                                         "case/D/same.txt", "case/d/SAME.TXT"};

shell::TResultModel& Model(shell::TFormui& form) {
  return form.gridSearchResults->Model();
}

QString Cell(shell::TFormui& form, int row, int column) {
  auto& model = Model(form);
  return model.data(model.index(row, column), Qt::DisplayRole).toString();
}

// The rows on view as "name|path", sorted: twins come in the disk's order.
QStringList Rows(shell::TFormui& form) {
  QStringList rows;
  for (int row = 0; row < Model(form).rowCount(); ++row)
    rows << Cell(form, row, 0) + "|" + Cell(form, row, 1).mid(1);
  rows.sort();
  return rows;
}

void Search(shell::TFormui& form, const QString& pattern) {
  form.show();
  form.editSearchFilename->setFocus();
  form.editSearchFilename->setText(pattern);
  QTest::keyClick(form.editSearchFilename, Qt::Key_Return);
}

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

// Sets an environment variable for as long as it lives.
class TEnvironmentValue {
 public:
  TEnvironmentValue(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~TEnvironmentValue() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace

class TPathFormsTest : public QObject {
  Q_OBJECT

 private slots:
  void TheGridShowsNamesAndPathsAsTheDiskSpellsThem() {
    TStartedProgram run(kFiles);
    shell::TFormui& form = run.Form();
    const QString disk = Text(run.Env.Disk());
    QVERIFY(form.LinuxPaths1->isChecked());  // the setting is missing: Linux paths
    Search(form, QStringLiteral("*.TXT"));
    QCOMPARE(
        Rows(form),
        (QStringList{
            "Notes.TXT|" + disk + "/docs/Notes.TXT", "SAME.TXT|" + disk + "/case/d/SAME.TXT",
            "b.txt|" + disk + "/docs/sub/b.txt", "readme.txt|" + disk + "/docs/readme.txt",
            "same.txt|" + disk + "/case/D/same.txt",
            QStringLiteral("Ünïcode-Éé.txt|") + disk + QStringLiteral("/Straße/Ünïcode-Éé.txt")}));
    QCOMPARE(form.StatusPanel0->text(), QStringLiteral("Number of files found = 6"));

    // The drive form is one menu choice away, and Copy follows it.
    form.DrivePaths1->trigger();
    QVERIFY(form.DrivePaths1->isChecked() && !form.LinuxPaths1->isChecked());
    QCOMPARE(run.Env.Dword("DrivePaths"), 1u);
    QVERIFY(Rows(form).contains(QStringLiteral("NOTES.TXT|C:\\DOCS\\NOTES.TXT")));
    QCOMPARE(Rows(form).count(QStringLiteral("SAME.TXT|C:\\CASE\\D\\SAME.TXT")), 2);
    Search(form, QStringLiteral("notes.txt"));
    form.Copy1Click();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("C:\\DOCS\\NOTES.TXT"));
    // What leaves for other programs stays a host path.
    QTest::keyClick(form.gridSearchResults, Qt::Key_Return);
    QCOMPARE(run.Opened.Files.size(), std::size_t{1});
    QCOMPARE(run.Opened.Files[0], disk + "/docs/Notes.TXT");

    // The next start shows the drive form again; Linux paths are remembered
    // the same way.
    run.Under->Program.ShutDown();
    run.Under = std::make_unique<TProgramUnderTest>();
    QVERIFY(run.Under->Program.StartUp());
    shell::TFormui& again = run.Form();
    QVERIFY(again.DrivePaths1->isChecked());
    Search(again, QStringLiteral("notes.txt"));
    QCOMPARE(Cell(again, 0, 1), QStringLiteral(" C:\\DOCS\\NOTES.TXT"));
    again.LinuxPaths1->trigger();
    QCOMPARE(run.Env.Dword("DrivePaths"), 0u);
    QCOMPARE(Cell(again, 0, 0), QStringLiteral("Notes.TXT"));
    again.Copy1Click();
    QCOMPARE(QGuiApplication::clipboard()->text(), disk + "/docs/Notes.TXT");
  }

  void LinuxPathsInPatternsSearchTheirFolder() {
    TStartedProgram run(kFiles);
    shell::TFormui& form = run.Form();
    const std::string disk = run.Env.Disk();
    Search(form, QStringLiteral("C:\\DOCS\\*.TXT"));
    const QStringList driveRows = Rows(form);
    QCOMPARE(driveRows.size(), 3);
    Search(form, Text(disk + "/DOCS/*.txt"));
    QCOMPARE(Rows(form), driveRows);
    {
      // "~/" is the home folder, looked up as the pattern is.
      TEnvironmentValue home("HOME", disk + "/docs");
      Search(form, QStringLiteral("~/SUB/*"));
      QCOMPARE(Rows(form), QStringList{Text("b.txt|" + disk + "/docs/sub/b.txt")});
    }

    // A folder outside every drive, and one the tree does not have, say so.
    const std::string outside = run.Env.Config() + "/elsewhere";
    Search(form, Text(outside + "/*"));
    QCOMPARE(form.StatusPanel0->text(),
             Text(platform::FormatMessage(platform::kMsgNoDriveHolds,
                                          {outside, run.Env.Config() + "/varnoke/dosdevices"})));
    QCOMPARE(Model(form).rowCount(), 1);
    QCOMPARE(Cell(form, 0, 0), QString());
    Search(form, Text(disk + "/docs/.git/*"));
    QVERIFY(form.StatusPanel0->text().startsWith(
        Text("The folder " + disk + "/docs/.git is not in the database. Names that begin")));
    // In drive form the status line names the folder so.
    form.DrivePaths1->trigger();
    QVERIFY(form.StatusPanel0->text().startsWith(
        QStringLiteral("The folder C:\\docs\\.git is not in the database")));
  }

  void ResultsFollowTypingAndEnterThenEnterUsesTheFirstRow() {
    TStartedProgram run(kFiles);
    shell::TFormui& form = run.Form();
    form.show();
    form.editSearchFilename->setFocus();
    QTest::keyClicks(form.editSearchFilename, QStringLiteral("notes.t"));
    QTRY_COMPARE(form.StatusPanel0->text(), QStringLiteral("Number of files found = 0"));
    QTest::keyClicks(form.editSearchFilename, QStringLiteral("xt"));
    QTRY_COMPARE(Cell(form, 0, 0), QStringLiteral("Notes.TXT"));
    QCOMPARE(form.StatusPanel0->text(), QStringLiteral("Number of files found = 1"));
    QCOMPARE(form.focusWidget(), form.editSearchFilename);  // typing goes on
    QTest::keyClick(form.editSearchFilename, Qt::Key_Return);
    QCOMPARE(form.focusWidget(), form.gridSearchResults);
    QCOMPARE(form.gridSearchResults->SelectedRow(), 1);
    QTest::keyClick(form.gridSearchResults, Qt::Key_Return);
    QCOMPARE(run.Opened.Files, std::vector<QString>{Text(run.Env.Disk() + "/docs/Notes.TXT")});

    // Turned off, only Enter searches; the choice is kept.
    form.SearchAsYouType1->trigger();
    QVERIFY(!form.SearchesAsYouType());
    QCOMPARE(run.Env.Dword("SearchAsYouType"), 0u);
    form.show();
    form.editSearchFilename->setFocus();
    form.editSearchFilename->clear();
    QTest::keyClicks(form.editSearchFilename, QStringLiteral("readme.txt"));
    QTest::qWait(100);
    QCOMPARE(Cell(form, 0, 0), QStringLiteral("Notes.TXT"));
    QTest::keyClick(form.editSearchFilename, Qt::Key_Return);
    QCOMPARE(Cell(form, 0, 0), QStringLiteral("readme.txt"));
  }

  void TheNameColumnFitsAndLongPathsLoseTheirMiddle() {
    const std::string longName = std::string(60, 'n') + ".txt";
    TStartedProgram run({"docs/a.txt", "deep/" + std::string(80, 'd') + "/" + longName});
    shell::TFormui& form = run.Form();
    shell::TResultGrid& grid = *form.gridSearchResults;
    Search(form, QStringLiteral("a.txt"));
    const int fitted = grid.columnWidth(0);
    QVERIFY(fitted >= QFontMetrics(grid.font()).horizontalAdvance(QStringLiteral("Filename")));
    QVERIFY(fitted < grid.viewport()->width() / 4);
    Search(form, Text(longName));
    QCOMPARE(grid.columnWidth(0), grid.viewport()->width() * 2 / 5);  // at most 40 %
    QCOMPARE(grid.textElideMode(), Qt::ElideMiddle);
    auto& model = Model(form);
    QCOMPARE(model.data(model.index(0, 1), Qt::ToolTipRole).toString(),
             Text(run.Env.Disk() + "/deep/" + std::string(80, 'd') + "/" + longName));
    // A width the user gives it stays, search after search.
    grid.horizontalHeader()->resizeSection(0, 90);
    Search(form, QStringLiteral("a.txt"));
    QCOMPARE(grid.columnWidth(0), 90);
  }

  void SearchesThatHaveNotStartedGiveWayToTheNewest() {
    TShellEnvironment env;
    for (const std::string& file : kFiles)
      env.MakeFile(file);
    shell::THostServices host;
    TMemoryDB db(host.Services());
    TRecordingObserver observer;
    QVERIFY(db.ScanDrives(env.DatabasePath(), observer));
    const std::atomic<std::uint64_t> reports{0};
    std::mutex doneMutex;
    std::vector<shell::TSearchOutcome> done;
    shell::TSearchRunner runner(db, host.Drives, reports,
                                [&](const shell::TSearchOutcome& outcome) {
                                  std::lock_guard guard(doneMutex);
                                  done.push_back(outcome);
                                });
    std::uint64_t last = 0;
    {
      // While the lock is held elsewhere, keys keep coming.
      std::lock_guard hold(db.Lock);
      runner.Request("*");
      runner.Request("*.txt");
      last = runner.Request("notes.txt");
    }
    const std::optional<shell::TSearchOutcome> outcome = runner.WaitFor(last);
    QVERIFY(outcome.has_value());
    QCOMPARE(outcome->Rows, 1);
    QCOMPARE(outcome->First.size(), std::size_t{1});
    QCOMPARE(Text(outcome->First[0].Path), Text(env.Disk() + "/docs/Notes.TXT"));
    // The outcome is handed on once the search is done; the others never ran.
    const auto finished = [&] {
      std::lock_guard guard(doneMutex);
      return done.size();
    };
    QTRY_COMPARE(finished(), std::size_t{1});
    QCOMPARE(done[0].Request, last);
    // A search on the caller's thread comes after everything asked before.
    const shell::TSearchOutcome now = runner.SearchNow("*.txt");
    QVERIFY(now.Request > last);
    QCOMPARE(now.Rows, 6);
    std::lock_guard guard(db.Lock);
    QCOMPARE(runner.ListRequest(), now.Request);
    QCOMPARE(db.ResultCount(), 6);
  }

  void TheWindowAndVarnokeFindGiveTheSamePaths() {
    TShellEnvironment env;
    for (const char* file : {"case/D/same.txt", "case/d/SAME.TXT", "case/d/deeper/x.txt",
                             "Docs/inside.txt", "DOCS", "gone/Deleted.txt"})
      env.MakeFile(file);
    shell::THostServices host;
    TMemoryDB db(host.Services());
    TRecordingObserver observer;
    QVERIFY(db.ScanDrives(env.DatabasePath(), observer));
    QVERIFY(db.SavedByLastScan());
    env.SetDword("SaveSuccessful", 1);
    // Gone from the disk, still in the tree and the file.
    QCOMPARE(::unlink((env.Disk() + "/gone/Deleted.txt").c_str()), 0);
    const std::unique_ptr<live::TLiveServer> server =
        live::TLiveServer::Start(db, live::LiveSocketName(env.HivePath()));
    QVERIFY(server != nullptr);
    const std::atomic<std::uint64_t> reports{0};
    shell::TResultModel window;
    window.SetSource(&db, nullptr, &host.Drives, &reports);

    const auto find = [&](std::vector<std::string> args) {
      const TProcessResult result =
          RunProcess(VARNOKE_FIND_BINARY, args, {"XDG_CONFIG_HOME=" + env.Config()}, env.Install());
      QStringList lines = QString::fromStdString(result.out).split('\n', Qt::SkipEmptyParts);
      lines.sort();
      return lines;
    };
    for (const char* pattern :
         {"same.txt", ".d", "x.txt", "inside.txt", "docs", ".docs", "deleted.txt", "*"}) {
      db.Search(pattern);
      window.SetRowCount(db.ResultCount());
      QStringList rows;
      for (int i = 0; i < db.ResultCount(); ++i)
        rows << Text(window.HostPath(i));
      rows.sort();
      QVERIFY2(!rows.isEmpty(), pattern);
      QCOMPARE(find({pattern}), rows);
      QCOMPARE(find({"--file", pattern}), rows);
    }
    QCOMPARE(find({"deleted.txt"}), QStringList{Text(env.Disk() + "/gone/DELETED.TXT")});

    // A row blanked by a change report reads as such.
    db.Search("deleted.txt");
    db.ApplyDelete("C:\\GONE\\DELETED.TXT");
    QCOMPARE(window.HostPath(0), std::string("File Deleted"));
    QCOMPARE(find({"deleted.txt"}), QStringList{});
  }
};

QTEST_MAIN(TPathFormsTest)
#include "path_forms_test.moc"
