// The synchronization report window: its layout and resize rule, saving
// the report to synclog.dat, Exit and Cancel.
#include <sys/stat.h>
#include <unistd.h>

#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QtTest>

#include "db/memory_db.h"
#include "shell/frm_sync.h"
#include "shell/window_scale.h"
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
};

QTEST_MAIN(TSyncWindowTest)
#include "sync_window_test.moc"
