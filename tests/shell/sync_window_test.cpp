// The synchronization report window: its layout and resize rule, saving
// the report to synclog.dat, Exit and Cancel; and what fills it, the
// catch-up after a load, with the tray icon's tip and notice.
#include <sys/stat.h>
#include <unistd.h>

#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QtTest>

#include <fcntl.h>

#include "db/memory_db.h"
#include "monitor/catch_up.h"
#include "shell/catch_up_report.h"
#include "shell/frm_sync.h"
#include "shell/host_services.h"
#include "shell/tray_icon.h"
#include "shell/uiform.h"
#include "shell/window_scale.h"
#include "tests/shell/fake_desktop.h"
#include "tests/shell/program_under_test.h"
#include "tests/shell/shell_environment.h"
#include "tests/shell/started_program.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

using namespace varnoke;
using namespace varnoke::testing;
using shell::TfrmSync;

namespace {

// Makes a temporary folder the current one while it lives.
class TInFolder {
 public:
  TInFolder() {
    if (::chdir(temp_.Path().c_str()) != 0) qFatal("cannot enter %s", temp_.Path().c_str());
  }
  ~TInFolder() {
    if (::chdir("/") != 0) qWarning("cannot leave %s", temp_.Path().c_str());
  }
  std::string File(const std::string& name) const { return temp_.Path() + "/" + name; }

 private:
  TTempDir temp_;
};

// What the program writes to standard error while the object lives.
class TStderrCapture {
 public:
  TStderrCapture() : saved_(::dup(2)) {
    const int fd = ::open(temp_.File("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(fd, 2);
    ::close(fd);
  }
  ~TStderrCapture() { Restore(); }
  std::string Text() {
    Restore();
    return ReadWhole(temp_.File("stderr"));
  }

 private:
  void Restore() {
    if (saved_ < 0) return;
    std::fflush(stderr);
    ::dup2(saved_, 2);
    ::close(saved_);
    saved_ = -1;
  }
  TInFolder temp_;
  int saved_;
};

QStringList Lines(const TfrmSync& sync) {
  QStringList lines;
  for (int i = 0; i < sync.ListBox1->count(); ++i)
    lines << sync.ListBox1->item(i)->text();
  return lines;
}

// A report of the catch-up's listings, made by hand: a directory's entries
// each ended by a NUL, the list by an empty one.
TChangeEvent Listing(std::uint32_t info, const char* path, const std::string& names) {
  return TChangeEvent{path, names.c_str(), info, VXD_CODE_LISTING};
}

QStringList Entries(QMenu* menu) {
  QStringList texts;
  for (QAction* action : menu->actions())
    texts << action->text();
  return texts;
}

}  // namespace

class TSyncWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void LaidOutAsDesigned() {
    TfrmSync sync;
    QCOMPARE(sync.windowTitle(), QStringLiteral("Synchronization Report"));
    QVERIFY(!sync.isVisible());
    QCOMPARE(sync.Label1->text(), QStringLiteral("Report progress:"));
    QCOMPARE(sync.ProgressBar1->minimum(), 0);
    QCOMPARE(sync.ProgressBar1->maximum(), 100);
    QCOMPARE(sync.ListBox1->pos(), shell::Scaled(8, 40, 1, 1).topLeft());
    QCOMPARE(sync.ProgressBar1->pos(), shell::Scaled(120, 8, 1, 1).topLeft());
    const QList<QAction*> menus = sync.menuBar()->actions();
    QCOMPARE(menus.size(), 2);
    QCOMPARE(menus[0]->text(), QStringLiteral("&File"));
    QCOMPARE(Entries(menus[0]->menu()), (QStringList{"&Cancel", "E&xit"}));
    QCOMPARE(menus[1]->text(), QStringLiteral("&Debug"));
    QCOMPARE(Entries(menus[1]->menu()), (QStringList{"&Save to disk ..."}));
  }

  void ResizingKeepsTheMarginsOfTheDesign() {
    TfrmSync sync;
    sync.FormResize(600, 500);
    QCOMPARE(sync.ListBox1->size(), shell::Scaled(600 - 26, 500 - 94));
    QCOMPARE(sync.ProgressBar1->width(), shell::Scaled(600 - 138));
    QCOMPARE(sync.ListBox1->pos(), shell::Scaled(8, 40, 1, 1).topLeft());
    QCOMPARE(sync.ProgressBar1->pos(), shell::Scaled(120, 8, 1, 1).topLeft());

    // A real resize: the list grows with the window by as much as it does.
    sync.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sync));
    const QSize before = sync.ListBox1->size();
    const int bar = sync.ProgressBar1->width();
    sync.resize(sync.size() + QSize(shell::Scaled(100), shell::Scaled(60)));
    QTRY_VERIFY(sync.ListBox1->width() != before.width());
    QVERIFY(qAbs(sync.ListBox1->width() - before.width() - shell::Scaled(100)) <= 2);
    QVERIFY(qAbs(sync.ListBox1->height() - before.height() - shell::Scaled(60)) <= 2);
    QVERIFY(qAbs(sync.ProgressBar1->width() - bar - shell::Scaled(100)) <= 2);
    // A window made tiny keeps controls of at least a pixel.
    sync.FormResize(10, 10);
    QVERIFY(sync.ListBox1->width() >= 1 && sync.ListBox1->height() >= 1);
  }

  void SaveWritesEveryLineWithCrLf() {
    TInFolder folder;
    TBoxAnswers boxes;
    TfrmSync sync;
    sync.AddLine(QStringLiteral("C:\\DOCS\\A.TXT added"));
    sync.AddLine(QString());
    sync.AddLine(QStringLiteral("C:\\ÜBER\\B.TXT removed"));
    sync.Savetodisk1->trigger();
    QCOMPARE(ReadWhole(folder.File("synclog.dat")),
             std::string("C:\\DOCS\\A.TXT added\r\n\r\nC:\\\xc3\x9c"
                         "BER\\B.TXT removed\r\n"));
    QVERIFY(boxes.Boxes.empty());
  }

  void AnEmptyListSavesAnEmptyFile() {
    TInFolder folder;
    std::ofstream(folder.File("synclog.dat")) << "an older report\r\n";
    TfrmSync sync;
    sync.Savetodisk1Click();
    struct stat st {};
    QCOMPARE(::stat(folder.File("synclog.dat").c_str(), &st), 0);
    QCOMPARE(st.st_size, off_t{0});
  }

  void AFileThatCannotBeCreatedIsReported() {
    TInFolder folder;
    ::mkdir(folder.File("synclog.dat").c_str(), 0755);  // a folder in the file's place
    TBoxAnswers boxes;
    boxes.Expect(shell::kIdOk);
    TfrmSync sync;
    sync.AddLine(QStringLiteral("a line"));
    sync.Savetodisk1->trigger();
    QCOMPARE(boxes.Boxes.size(), std::size_t{1});
    QCOMPARE(boxes.Boxes[0].Text, QStringLiteral("Cannot create file synclog.dat"));
    QVERIFY(boxes.Boxes[0].Flags & shell::kMbIconError);
    QCOMPARE(sync.ListBox1->count(), 1);
  }

  void ExitHidesAndKeepsTheReport() {
    TfrmSync sync;
    sync.AddLine(QStringLiteral("one"));
    sync.AddLine(QStringLiteral("two"));
    sync.SetProgress(40);
    sync.show();
    sync.Exit1->trigger();
    QVERIFY(!sync.isVisible());
    QCOMPARE(sync.ListBox1->count(), 2);
    QCOMPARE(sync.ListBox1->item(1)->text(), QStringLiteral("two"));
    QCOMPARE(sync.ProgressBar1->value(), 40);
    sync.show();
    QCOMPARE(sync.ListBox1->count(), 2);
    sync.SetProgress(250);
    QCOMPARE(sync.ProgressBar1->value(), 100);
  }

  void CancelAsksTheScanToStop() {
    TStartedProgram run({"a.txt"});
    shell::TfrmSync& sync = run.Under->Program.Sync();
    QVERIFY(!sync.isVisible());
    QVERIFY(!run.Db().ScanCancelRequested);
    sync.Cancel1->trigger();
    QVERIFY(run.Db().ScanCancelRequested);
    run.Db().ScanCancelRequested = false;
  }

  // Between two runs the disk changed: the start that loads the saved tree
  // catches up, and the report lists each change by its host path.
  void AStartThatLoadsCatchesUpAndTheReportListsWhatChanged() {
    TShellEnvironment env;
    TBoxAnswers boxes;
    env.MakeFile("docs/old.txt");
    env.MakeFile("docs/keep.txt");
    {
      TProgramUnderTest first;
      QVERIFY(first.Program.StartUp());
      QVERIFY(first.Program.CatchUpReport() == nullptr);  // it scanned
      first.Program.ShutDown();
    }
    QCOMPARE(env.Dword("SaveSuccessful"), 1u);
    env.MakeFile("docs/new.txt");
    env.MakeFile("fresh/f.txt");
    QCOMPARE(std::remove((env.Disk() + "/docs/old.txt").c_str()), 0);

    TStderrCapture errors;
    TProgramUnderTest second;
    QVERIFY(second.Program.StartUp());
    QVERIFY(second.Program.CatchUpReport() != nullptr);
    shell::TfrmSync& sync = second.Program.Sync();
    QTRY_COMPARE_WITH_TIMEOUT(sync.ProgressBar1->value(), 100, 60000);
    const QString disk = QString::fromStdString(env.Disk());
    QStringList lines = Lines(sync);
    lines.sort();
    QCOMPARE(lines, (QStringList{"Added: " + disk + "/docs/new.txt", "Added: " + disk + "/fresh/",
                                 "Added: " + disk + "/fresh/f.txt",
                                 "Removed: " + disk + "/docs/OLD.TXT"}));
    QCOMPARE(second.Program.Tray()->ToolTip(), QStringLiteral("Varnoke"));
    second.Program.ShutDown();
    const std::string text = errors.Text();
    QVERIFY2(text.find("varnoke: Varnoke found 4 changes made while it was not running (3 "
                       "folders checked).\n") != std::string::npos,
             text.c_str());
  }

  void TheMenuAndTheTraysNoticeOpenTheReport() {
    TStartedProgram run({"a.txt"});
    shell::TProgram& program = run.Under->Program;
    QVERIFY(!program.Sync().isVisible());
    program.Form().SynchronizationReport1->trigger();
    QVERIFY(program.Sync().isVisible());
    program.Sync().Exit1->trigger();
    // Another notice's click opens nothing; the catch-up's does.
    program.Tray()->ShowMessage(QStringLiteral("another notice"));
    program.Tray()->OnMessageClicked();
    QVERIFY(!program.Sync().isVisible());
    program.Tray()->ShowMessage(shell::TCatchUpReport::NoticeText());
    program.Tray()->OnMessageClicked();
    QVERIFY(program.Sync().isVisible());
  }

  // The report as the catch-up goes: the tip and the notice while it runs,
  // a line for each change up to the cap, then one with the count of the
  // rest, and the progress bar.
  void TheReportFollowsTheCatchUpAndCapsItsLines() {
    TShellEnvironment env;
    shell::THostServices host;
    TMemoryDB db(host.Services());
    TFakeDesktop desktop;
    shell::TTrayIcon tray(desktop, [](std::uint64_t) {});
    QVERIFY(tray.AddTrayIcon(std::chrono::milliseconds(0)));
    TfrmSync sync;
    TCatchUp catchUp;
    shell::TCatchUpReport report(sync, host.Drives, 4);
    report.Follow(&catchUp);
    report.SetTray(&tray);

    catchUp.Begin();
    report.Update();
    QCOMPARE(tray.ToolTip(), shell::TCatchUpReport::NoticeText());
    QCOMPARE(tray.LastMessage(), shell::TCatchUpReport::NoticeText());
    QCOMPARE(tray.ToolTip(),
             QStringLiteral("Varnoke is checking for changes made while it was not running"));

    std::string names;
    const std::size_t files = TCatchUp::kChangesKept + 205;
    for (std::size_t i = 0; i < files; ++i)
      names += "f" + std::to_string(i) + '\0';
    catchUp.Apply(db, Listing(VXD_LISTING_ENTRIES, "C:\\", names));
    catchUp.Apply(db, Listing(VXD_LISTING_ENTRIES, "C:\\Sub\\", ""));
    report.Update();
    QCOMPARE(sync.ListBox1->count(), static_cast<int>(TCatchUp::kChangesKept) + 1);
    // The drive's root, the files and Sub: the tree held nothing.
    QCOMPARE(Lines(sync).last(), QStringLiteral("... and 207 more changes"));
    QCOMPARE(sync.ProgressBar1->value(), 50);  // 2 of the tree's 4 folders
    tray.ShowMessage(QStringLiteral("something else"));
    report.Update();
    QCOMPARE(tray.LastMessage(), QStringLiteral("something else"));  // told once

    catchUp.Apply(db, Listing(VXD_LISTING_END, "", ""));
    report.Update();
    QCOMPARE(sync.ProgressBar1->value(), 100);
    QCOMPARE(tray.ToolTip(), QStringLiteral("Varnoke"));
    QCOMPARE(catchUp.Status().Changes, static_cast<std::uint64_t>(files + 2));
  }
};

QTEST_MAIN(TSyncWindowTest)
#include "sync_window_test.moc"
