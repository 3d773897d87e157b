// The pop-ups and the delivery of a chosen path: the hot key's pop-up over
// the target, the tray's where the window stood, the waiting edit control.
#include <QClipboard>
#include <QLineEdit>
#include <QtTest>
#include <cstring>

#include "shell/about.h"
#include "shell/result_grid.h"
#include "tests/shell/started_program.h"

using namespace varnoke;
using namespace varnoke::testing;

namespace {

constexpr shell::TWindowHandle kTarget = 0x2a00007;
constexpr shell::TWindowHandle kEdit = 0x2a0000c;
// An edit control the hook found on the accessibility bus.
constexpr shell::TWindowHandle kField = 0x80000005;
const platform::TAccessibleRef kFieldObject{":1.42", "/org/a11y/atspi/accessible/7"};

struct TPopup : TStartedProgram {
  TPopup() : TStartedProgram({"docs/Notes.TXT", "docs/Über.txt", "other/z.txt"}) {
    Desktop().Rects[kTarget] = {100, 50, 700, 450};
    Desktop().Extents[kTarget] = {4, 4, 24, 4};
    TFakeHookState& hook = Env.Hook();
    hook.FieldHandle = kField;
    std::strcpy(hook.FieldBus, kFieldObject.Bus.c_str());
    std::strcpy(hook.FieldPath, kFieldObject.Path.c_str());
  }
  void HotKey(shell::TWindowHandle edit = kEdit) {
    Form().HandleWindowMessage(Messages().EditControlMessage, edit, 0);
    Form().HandleWindowMessage(Messages().ActivateMessage, kTarget, 0);
  }
  void Tray(std::uint64_t mouse = shell::kWmLButtonDown) {
    Form().HandleWindowMessage(Messages().TrayActivateMessage, 0, mouse);
  }
  void SearchAndChoose(const QString& pattern) {
    Form().editSearchFilename->setText(pattern);
    QTest::keyClick(Form().editSearchFilename, Qt::Key_Return);
    QTest::keyClick(Form().gridSearchResults, Qt::Key_Return);
  }
};

}  // namespace

class TPopupTest : public QObject {
  Q_OBJECT

 private slots:
  void HotKeyCoversTheTargetAndFocusesTheSearchBox() {
    TPopup run;
    run.Form().editSearchFilename->setText(QStringLiteral("*.OLD"));
    run.HotKey();
    shell::TFormui& form = run.Form();
    QVERIFY(form.isVisible());
    QCOMPARE(form.TargetWindow, kTarget);
    QCOMPARE(form.TargetEditControl, kEdit);
    // The frame takes the target's frame: the client is inside the extents.
    QCOMPARE(form.geometry(), QRect(104, 74, 592, 372));
    QCOMPARE(form.focusWidget(), form.editSearchFilename);
    QCOMPARE(form.editSearchFilename->selectedText(), QStringLiteral("*.OLD"));
    QCOMPARE(run.Desktop().Foreground.back(), static_cast<shell::TWindowHandle>(form.winId()));
  }

  void TheTwoMessagesMayComeInEitherOrder() {
    TPopup run;
    run.Form().HandleWindowMessage(run.Messages().ActivateMessage, kTarget, 0);
    run.Form().HandleWindowMessage(run.Messages().EditControlMessage, kEdit, 0);
    QCOMPARE(run.Form().TargetWindow, kTarget);
    QCOMPARE(run.Form().TargetEditControl, kEdit);
  }

  void EnterTypesTheHostPathIntoTheWaitingControl() {
    TPopup run;
    run.HotKey();
    run.SearchAndChoose(QStringLiteral("ÜBER.TXT"));
    QCOMPARE(run.Desktop().Typed, std::vector<std::string>{run.Env.Disk() + "/docs/Über.txt"});
    QCOMPARE(run.Desktop().FocusWaits, std::vector<shell::TWindowHandle>{kEdit});
    QVERIFY(!run.Form().isVisible());
    QCOMPARE(run.Form().TargetEditControl, shell::TWindowHandle{0});
    QVERIFY(run.Opened.Files.empty());
    // The next choice opens the file, unless a new hot key names a control.
    run.Tray();
    run.Form().gridSearchResults->setFocus();
    QTest::keyClick(run.Form().gridSearchResults, Qt::Key_Return);
    QCOMPARE(run.Opened.Files.size(), std::size_t{1});
    QCOMPARE(run.Desktop().Typed.size(), std::size_t{1});
  }

  void AFieldOnTheAccessibilityBusTakesThePathWhole() {
    TPopup run;
    QCOMPARE(run.Desktop().AccessibilitySwitched, 1);
    run.HotKey(kField);
    run.SearchAndChoose(QStringLiteral("ÜBER.TXT"));
    const std::string path = run.Env.Disk() + "/docs/Über.txt";
    QCOMPARE(run.Desktop().FieldTexts.size(), std::size_t{1});
    QCOMPARE(run.Desktop().FieldTexts[0].first, kFieldObject);
    QCOMPARE(run.Desktop().FieldTexts[0].second, path);
    // Nothing is typed, and no focus is waited for.
    QVERIFY(run.Desktop().Typed.empty());
    QVERIFY(run.Desktop().FocusWaits.empty());
    QCOMPARE(run.Form().TargetEditControl, shell::TWindowHandle{0});
    QVERIFY(!run.Form().isVisible());
  }

  void AFieldThatRefusesThePathGetsItTypedOverItsWholeText() {
    TPopup run;
    run.Desktop().FieldTakesText = false;
    run.HotKey(kField);
    run.SearchAndChoose(QStringLiteral("Z.TXT"));
    // Typed into the window popped up over, with the field's text selected.
    QCOMPARE(run.Desktop().FocusWaits, std::vector<shell::TWindowHandle>{kTarget});
    QCOMPARE(run.Desktop().Selected, std::vector<platform::TAccessibleRef>{kFieldObject});
    QCOMPARE(run.Desktop().Typed, std::vector<std::string>{run.Env.Disk() + "/other/z.txt"});
  }

  void AFieldWhoseWindowIsGoneGetsThePathOnTheClipboard() {
    TPopup run;
    run.Desktop().FieldTakesText = false;
    run.Desktop().FocusComesBack = false;
    run.HotKey(kField);
    run.SearchAndChoose(QStringLiteral("NOTES.TXT"));
    QVERIFY(run.Desktop().Typed.empty());
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QString::fromStdString(run.Env.Disk() + "/docs/Notes.TXT"));
    // A handle the hook no longer knows is no window to type into either.
    run.Desktop().FieldTexts.clear();
    run.HotKey(kField + 1);
    run.Desktop().FocusComesBack = true;
    run.SearchAndChoose(QStringLiteral("Z.TXT"));
    QVERIFY(run.Desktop().FieldTexts.empty());
    QCOMPARE(run.Desktop().FocusWaits.back(), kTarget);
    QCOMPARE(run.Desktop().Typed, std::vector<std::string>{run.Env.Disk() + "/other/z.txt"});
  }

  void NothingIsTypedWhenTheFocusDoesNotComeBack() {
    TPopup run;
    run.Desktop().FocusComesBack = false;
    run.HotKey();
    run.SearchAndChoose(QStringLiteral("NOTES.TXT"));
    QVERIFY(run.Desktop().Typed.empty());
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QString::fromStdString(run.Env.Disk() + "/docs/Notes.TXT"));
  }

  void AnEditControlOfNoneClearsTheTarget() {
    TPopup run;
    run.HotKey(kEdit);
    run.HotKey(0);
    run.SearchAndChoose(QStringLiteral("NOTES.TXT"));
    QVERIFY(run.Desktop().Typed.empty());
    QCOMPARE(run.Opened.Files.size(), std::size_t{1});
  }

  void OpenFromThePopupMenuLeavesTheControlWaiting() {
    TPopup run;
    run.HotKey();
    run.Form().editSearchFilename->setText(QStringLiteral("NOTES.TXT"));
    run.Form().RunSearch();
    run.Form().OpenClick();
    QCOMPARE(run.Opened.Files.size(), std::size_t{1});
    QCOMPARE(run.Form().TargetEditControl, kEdit);
  }

  void TheWaitingControlSurvivesEscAndATrayPopup() {
    TPopup run;
    run.HotKey();
    QTest::keyClick(run.Form().editSearchFilename, Qt::Key_Escape);
    QVERIFY(!run.Form().isVisible());
    run.Tray(shell::kWmRButtonDown);
    QVERIFY(run.Form().isVisible());
    run.SearchAndChoose(QStringLiteral("Z.TXT"));
    QCOMPARE(run.Desktop().Typed, std::vector<std::string>{run.Env.Disk() + "/other/z.txt"});
  }

  void TrayPopupShowsTheWindowWhereItStood() {
    TPopup run;
    run.HotKey();
    const QRect over = run.Form().geometry();
    QTest::keyClick(run.Form().editSearchFilename, Qt::Key_Escape);
    run.Desktop().Foreground.clear();
    run.Tray();
    QCOMPARE(run.Form().geometry(), over);
    QCOMPARE(run.Form().TargetWindow, shell::TWindowHandle{0});
    // Hiding then changes no other window's foreground.
    run.Form().HideSearchWindow();
    QCOMPARE(run.Desktop().Foreground, std::vector<shell::TWindowHandle>{run.Form().winId()});
  }

  void OnlyButtonPressesOnTheTrayPopUp() {
    TPopup run;
    for (const std::uint64_t mouse : {shell::kWmLButtonDblClk, shell::kWmMButtonDown,
                                      std::uint64_t{0x0202}, std::uint64_t{0x0200}}) {
      run.Tray(mouse);
      QVERIFY(!run.Form().isVisible());
    }
    run.Tray(shell::kWmLButtonDown);
    QVERIFY(run.Form().isVisible());
  }

  void TrayClicksWaitWhileTheSplashIsUpButTheHotKeyDoesNot() {
    TPopup run;
    run.Under->Program.About().SetSplashMode(shell::TSplashMode::Splash);
    run.Tray();
    QVERIFY(!run.Form().isVisible());
    run.HotKey();
    QVERIFY(run.Form().isVisible());
    run.Under->Program.About().CloseSplash();
  }

  void AWindowTooSmallToCoverIsNotCovered() {
    TPopup run;
    run.HotKey();
    const QRect over = run.Form().geometry();
    run.Form().HideSearchWindow();
    constexpr shell::TWindowHandle kHiddenFocus = 0x600002;
    run.Desktop().Rects[kHiddenFocus] = {0, 0, 1, 1};
    run.Form().HandleWindowMessage(run.Messages().ActivateMessage, kHiddenFocus, 0);
    QVERIFY(run.Form().isVisible());
    QCOMPARE(run.Form().geometry(), over);
    run.Form().HideSearchWindow();
    run.Form().HandleWindowMessage(run.Messages().ActivateMessage, 0, 0);
    QCOMPARE(run.Form().geometry(), over);
  }

  void HidingTwiceHandsTheForegroundBackTwice() {
    TPopup run;
    run.HotKey();
    run.Desktop().Foreground.clear();
    run.Form().HideSearchWindow();
    run.Form().HideSearchWindow();
    QCOMPARE(run.Desktop().Foreground, (std::vector<shell::TWindowHandle>{kTarget, kTarget}));
    QVERIFY(!run.Form().isVisible());
  }

  void PostedMessagesReachTheWindowProcedure() {
    TPopup run;
    shell::PostWindowMessage(run.Form(), run.Messages().EditControlMessage, kEdit, 0);
    shell::PostWindowMessage(run.Form(), run.Messages().ActivateMessage, kTarget, 0);
    QTRY_VERIFY(run.Form().isVisible());
    QCOMPARE(run.Form().TargetEditControl, kEdit);
  }
};

QTEST_MAIN(TPopupTest)
#include "popup_test.moc"
