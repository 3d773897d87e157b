// The search window: the search, the grid's rows and selection, sorting,
// the result action, Copy, hiding, the column widths and a scan from the
// menu.
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QtTest>

#include "shell/result_grid.h"
#include "shell/result_model.h"
#include "tests/shell/started_program.h"

using namespace varnoke;
using namespace varnoke::testing;

namespace {

const std::vector<std::string> kFiles = {"docs/readme.txt", "docs/Notes.TXT", "docs/sub/b.txt",
                                         "docs/sub/a.txt",  "other/z.txt",    "other/keep.doc"};

QString Cell(shell::TFormui& form, int row, int column) {
  auto& model = form.gridSearchResults->Model();
  return model.data(model.index(row, column), Qt::DisplayRole).toString();
}

void Search(shell::TFormui& form, const QString& pattern) {
  form.show();
  form.editSearchFilename->setFocus();
  form.editSearchFilename->setText(pattern);
  QTest::keyClick(form.editSearchFilename, Qt::Key_Return);
}

QPoint HeaderPoint(shell::TFormui& form, int column) {
  QHeaderView* header = form.gridSearchResults->horizontalHeader();
  return {header->sectionViewportPosition(column) + 5, header->height() / 2};
}

}  // namespace

class TUiformTest : public QObject {
  Q_OBJECT

 private slots:
  void WindowIsLaidOutAsDesigned() {
    TStartedProgram run(kFiles);
    shell::TFormui& form = run.Form();
    QCOMPARE(form.windowTitle(), QStringLiteral("Varnoke 96"));
    QCOMPARE(form.btnFind->text(), QStringLiteral("Fi&nd"));
    auto& model = form.gridSearchResults->Model();
    QCOMPARE(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral("Filename"));
    QCOMPARE(model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(),
             QStringLiteral(" Path"));
    QCOMPARE(model.rowCount(), 1);  // the header never stands alone
    QStringList menus;
    for (QAction* menu : form.menuBar()->actions()) {
      if (menu->isVisible()) menus << menu->text();
    }
    QCOMPARE(menus, (QStringList{"&File", "&Edit", "&View", "&Help"}));
    QStringList file;
    for (QAction* entry : form.menuBar()->actions().at(0)->menu()->actions()) {
      if (entry->isVisible() && !entry->isSeparator()) file << entry->text();
    }
    QCOMPARE(file, (QStringList{"&Scan Drives", "Set Hot &Key...", "Set Startup &Options...",
                                "Synchronization &Report...", "E&xit"}));
    QCOMPARE(form.pmListBox->actions().at(1)->text(), QStringLiteral("&Explore from here..."));
  }

  void SearchShowsRowsAndTheCount() {
    TStartedProgram run(kFiles);
    shell::TFormui& form = run.Form();
    Search(form, QStringLiteral("*.txt"));
    QCOMPARE(form.StatusPanel0->text(), QStringLiteral("Number of files found = 5"));
    QCOMPARE(form.gridSearchResults->Model().rowCount(), 5);
    QCOMPARE(form.gridSearchResults->SelectedRow(), 1);
    QCOMPARE(form.focusWidget(), form.gridSearchResults);
    // Names and paths as the disk spells them.
    const QString disk = QString::fromStdString(run.Env.Disk());
    QStringList rows;
    for (int row = 0; row < 5; ++row) {
      QVERIFY(Cell(form, row, 1).startsWith(" " + disk + "/"));
      QVERIFY(Cell(form, row, 1).endsWith("/" + Cell(form, row, 0)));
      rows << Cell(form, row, 0);
    }
    rows.sort();
    QCOMPARE(rows, (QStringList{"Notes.TXT", "a.txt", "b.txt", "readme.txt", "z.txt"}));
  }

  void SearchWithoutHitsKeepsOneEmptyRow() {
    TStartedProgram run(kFiles);
    shell::TFormui& form = run.Form();
    Search(form, QStringLiteral("*.NONE"));
    QCOMPARE(form.StatusPanel0->text(), QStringLiteral("Number of files found = 0"));
    QCOMPARE(form.gridSearchResults->Model().rowCount(), 1);
    QCOMPARE(Cell(form, 0, 0), QString());
    QCOMPARE(Cell(form, 0, 1), QStringLiteral(" "));
    // Enter in the grid does nothing, and the window stays.
    QTest::keyClick(form.gridSearchResults, Qt::Key_Return);
    QVERIFY(form.isVisible());
    QVERIFY(run.Opened.Files.empty());
    // Copy puts an empty text on the clipboard; Open hides the window.
    QGuiApplication::clipboard()->setText(QStringLiteral("before"));
    form.Copy1Click();
    QCOMPARE(QGuiApplication::clipboard()->text(), QString());
    form.OpenClick();
    QVERIFY(!form.isVisible());
  }

  void ResultActionOpensTheFileAndHides() {
    TStartedProgram run(kFiles);
    shell::TFormui& form = run.Form();
    Search(form, QStringLiteral("notes.txt"));
    QTest::keyClick(form.gridSearchResults, Qt::Key_Return);
    QCOMPARE(run.Opened.Files.size(), std::size_t{1});
    // The host form: spelled as on the disk.
    QCOMPARE(run.Opened.Files[0], QString::fromStdString(run.Env.Disk() + "/docs/Notes.TXT"));
    QVERIFY(!form.isVisible());
  }

  void CopyPutsTheHostPathOnTheClipboard() {
    TStartedProgram run(kFiles);
    shell::TFormui& form = run.Form();
    Search(form, QStringLiteral("NOTES.TXT"));
    const QString host = QString::fromStdString(run.Env.Disk() + "/docs/Notes.TXT");
    for (const auto modifiers : {Qt::KeyboardModifiers(Qt::ControlModifier),
                                 Qt::KeyboardModifiers(Qt::ControlModifier | Qt::ShiftModifier)}) {
      QGuiApplication::clipboard()->clear();
      QTest::keyClick(form.gridSearchResults, Qt::Key_C, modifiers);
      QCOMPARE(QGuiApplication::clipboard()->text(), host);
    }
    QVERIFY(form.isVisible());  // the window stays
  }

  void CopyTellsApartNamesThatDifferOnlyInCase() {
    TStartedProgram run({"case/D/same.txt", "case/d/SAME.TXT", "Docs/inside.txt", "DOCS"});
    shell::TFormui& form = run.Form();
    Search(form, QStringLiteral("SAME.TXT"));
    QCOMPARE(form.gridSearchResults->Model().rowCount(), 2);
    QStringList copied;
    for (int row = 1; row <= 2; ++row) {
      form.gridSearchResults->SelectRow(row);
      form.Copy1Click();
      copied << QGuiApplication::clipboard()->text();
    }
    copied.sort();
    const QString disk = QString::fromStdString(run.Env.Disk());
    QCOMPARE(copied, (QStringList{disk + "/case/D/same.txt", disk + "/case/d/SAME.TXT"}));
    // A folder beside a file of its name: the rows below it are the folder's.
    Search(form, QStringLiteral("INSIDE.TXT"));
    form.gridSearchResults->SelectRow(1);
    form.Copy1Click();
    QCOMPARE(QGuiApplication::clipboard()->text(), disk + "/Docs/inside.txt");
    Search(form, QStringLiteral(".DOCS"));
    form.gridSearchResults->SelectRow(1);
    form.Copy1Click();
    QCOMPARE(QGuiApplication::clipboard()->text(), disk + "/Docs");
  }

  void DeletedFilesReadFileDeleted() {
    TStartedProgram run(kFiles);
    shell::TFormui& form = run.Form();
    QVERIFY(run.Under->Program.WaitUntilMonitoring());
    Search(form, QStringLiteral("README.TXT"));
    QCOMPARE(Cell(form, 0, 0), QStringLiteral("readme.txt"));
    QVERIFY(::unlink((run.Env.Disk() + "/docs/readme.txt").c_str()) == 0);
    QTRY_COMPARE_WITH_TIMEOUT(Cell(form, 0, 0), QStringLiteral("File Deleted"), 10000);
    QCOMPARE(Cell(form, 0, 1), QStringLiteral(" File Deleted"));
    QCOMPARE(form.gridSearchResults->Model().rowCount(), 1);  // reports never change the count
    form.Copy1Click();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("File Deleted"));
  }

  void HeaderClicksSortAndLeaveNoRowSelected() {
    TStartedProgram run(kFiles);
    shell::TFormui& form = run.Form();
    Search(form, QStringLiteral("*.TXT"));
    QWidget* header = form.gridSearchResults->horizontalHeader()->viewport();
    QTest::mouseClick(header, Qt::LeftButton, {}, HeaderPoint(form, 0));
    QStringList names;
    for (int row = 0; row < 5; ++row)
      names << Cell(form, row, 0);
    QCOMPARE(names, (QStringList{"a.txt", "b.txt", "Notes.TXT", "readme.txt", "z.txt"}));
    QCOMPARE(form.gridSearchResults->SelectedRow(), -1);
    // Nothing to act on until a row is clicked.
    QTest::keyClick(form.gridSearchResults, Qt::Key_Return);
    form.OpenClick();
    form.ExploreClick();
    QVERIFY(run.Opened.Files.empty());
    QVERIFY(form.isVisible());

    QTest::mouseClick(header, Qt::LeftButton, {}, HeaderPoint(form, 1));
    QStringList paths;
    for (int row = 0; row < 5; ++row)
      paths << Cell(form, row, 1);
    QStringList sorted = paths;
    // Compared as the tree compares them, whatever the letter case.
    std::sort(sorted.begin(), sorted.end(),
              [](const QString& a, const QString& b) { return a.toUpper() < b.toUpper(); });
    QCOMPARE(paths, sorted);

    // A click on a row selects it; below the last row selects none.
    QWidget* rows = form.gridSearchResults->viewport();
    const int height = form.gridSearchResults->rowHeight(0);
    QTest::mousePress(rows, Qt::LeftButton, {}, QPoint(10, height * 2 + height / 2));
    QTest::mouseRelease(rows, Qt::LeftButton, {}, QPoint(10, height * 2 + height / 2));
    QCOMPARE(form.gridSearchResults->SelectedRow(), 3);
    QTest::mousePress(rows, Qt::LeftButton, {}, QPoint(10, height * 5 + height / 2));
    QCOMPARE(form.gridSearchResults->SelectedRow(), -1);
  }

  void EscCloseAndMinimizeOnlyHide() {
    TStartedProgram run(kFiles);
    shell::TFormui& form = run.Form();
    form.show();
    QTest::keyClick(form.editSearchFilename, Qt::Key_Escape);
    QVERIFY(!form.isVisible());
    form.show();
    QVERIFY(!form.close());
    QVERIFY(!form.isVisible());
    form.show();
    form.setWindowState(Qt::WindowMinimized);
    QTRY_VERIFY(!form.isVisible());
    QVERIFY(!run.Under->Program.QuitRequested());
  }

  void OnlyThePathColumnFollowsTheWindow() {
    TStartedProgram run(kFiles);
    shell::TFormui& form = run.Form();
    form.show();
    shell::TResultGrid& grid = *form.gridSearchResults;
    const int name = grid.columnWidth(0);
    form.resize(form.width() + 100, form.height());
    QCoreApplication::processEvents();
    QCOMPARE(grid.columnWidth(0), name);
    QCOMPARE(grid.columnWidth(1), grid.viewport()->width() - name - 1);
    grid.setColumnWidth(0, grid.viewport()->width() + 50);  // dragged wider than the grid
    form.resize(form.width() - 10, form.height());
    QCoreApplication::processEvents();
    QCOMPARE(grid.columnWidth(1), 0);
  }

  void ScanDrivesFromTheMenuSearchesTheSameTextAgain() {
    TStartedProgram run(kFiles);
    shell::TFormui& form = run.Form();
    Search(form, QStringLiteral("*.DOC"));
    QCOMPARE(form.StatusPanel0->text(), QStringLiteral("Number of files found = 1"));
    run.Env.MakeFile("other/second.doc");
    form.ScanDrives1Click();
    QVERIFY(form.isVisible());
    QVERIFY(!run.Under->Program.About().isVisible());
    QCOMPARE(form.editSearchFilename->text(), QStringLiteral("*.DOC"));
    QCOMPARE(form.StatusPanel0->text(), QStringLiteral("Number of files found = 2"));
    QVERIFY(form.ScanDrives1->isEnabled());
  }
};

QTEST_MAIN(TUiformTest)
#include "uiform_test.moc"
