// The hot-key dialog: what it shows on opening, the text and choice the
// keys pressed in it make, Assign and Cancel, and a key that another
// program holds.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <fstream>

#include "platform/hive/hive_file.h"
#include "shell/assign_hot_key.h"
#include "shell/uiform.h"
#include "tests/shell/dialog_runner.h"
#include "tests/shell/started_program.h"
#include "tests/shell/text_fits.h"
#include "tests/support/process.h"

using namespace varnoke;
using namespace varnoke::testing;
using shell::TAssignHotKey;

namespace {

// The hive starts with Ctrl+Alt+F: HotKey 0x46, HotKeyShift 5.
const std::vector<std::string> kFiles = {"a.txt"};

// Opens the dialog from the search window's menu and runs action in it.
TDialogRun FromMenu(TStartedProgram& run, const std::function<void(TAssignHotKey&)>& action) {
  return RunDialog<TAssignHotKey>(
      QStringLiteral("AssignHotKey"), [&] { run.Form().SetHotKey1->trigger(); }, action);
}

void Press(TAssignHotKey& dialog, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QTest::keyClick(dialog.Edit1, key, modifiers);
}

}  // namespace

class THotKeyDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void OpensWithTheStoredKeyAndTheDesignsTexts() {
    TStartedProgram run(kFiles);
    QString shownText;
    const TDialogRun dialog = FromMenu(run, [&](TAssignHotKey& d) {
      shownText = d.Edit1->text();
      QCOMPARE(d.windowTitle(), QStringLiteral("Assign Hot Key"));
      QVERIFY2(TextsThatDoNotFit(d).isEmpty(), qPrintable(TextsThatDoNotFit(d)));
      QCOMPARE(d.focusWidget(), d.Edit1);
      QCOMPARE(d.Label1->text(), QStringLiteral("Hot &Key:"));
      QCOMPARE(d.btnSetKey->text(), QStringLiteral("Assign"));
      QCOMPARE(d.btnCancel->text(), QStringLiteral("Cancel"));
      QVERIFY(d.btnSetKey->isDefault());
      QVERIFY(d.Label2->text().startsWith(QStringLiteral("Press the hotkey sequence")));
      QVERIFY(d.Label4->font().bold());
      QVERIFY(d.windowFlags() & Qt::WindowContextHelpButtonHint);
      d.btnCancel->click();
    });
    QVERIFY(dialog.Shown);
    QVERIFY(!dialog.LeftOpen);
    // The stored order: Ctrl before Alt, whatever order the keys were pressed in.
    QCOMPARE(shownText, QStringLiteral("Ctrl Alt F"));
  }

  void KeysReadAltCtrlShiftAndAssignStoresAndGrabsTheLastOne() {
    TStartedProgram run(kFiles);
    const int setKeyCalls = run.Env.Hook().SetKeyCalls;
    QStringList texts;
    FromMenu(run, [&](TAssignHotKey& d) {
      Press(d, Qt::Key_Home, Qt::ShiftModifier);
      texts << d.Edit1->text();
      Press(d, Qt::Key_F5, Qt::ControlModifier | Qt::AltModifier);
      texts << d.Edit1->text();
      Press(d, Qt::Key_F7, Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
      texts << d.Edit1->text();
      d.btnSetKey->click();
    });
    QCOMPARE(texts, (QStringList{"Shift Home", "Alt Ctrl F5", "Alt Ctrl Shift F7"}));
    QCOMPARE(run.Env.Dword("HotKey"), 118u);
    QCOMPARE(run.Env.Dword("HotKeyShift"), 7u);
    QCOMPARE(run.Env.Hook().SetKeyCalls, setKeyCalls + 1);
    QCOMPARE(run.Env.Hook().LastKey, 118u);
    QCOMPARE(run.Env.Hook().LastModifiers, 7u);
    QVERIFY(run.Boxes.Boxes.empty());

    // The next opening reads the settings again, in the stored order.
    QString reopened;
    FromMenu(run, [&](TAssignHotKey& d) {
      reopened = d.Edit1->text();
      d.btnCancel->click();
    });
    QCOMPARE(reopened, QStringLiteral("Shift Ctrl Alt F7"));
  }

  void KeysAreNamedAsTheHookGrabsThem_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("text");
    QTest::addColumn<unsigned>("code");
    QTest::addColumn<unsigned>("bits");
    QTest::newRow("letter") << int(Qt::Key_Q) << int(Qt::ControlModifier) << "Ctrl Q" << 81u << 4u;
    QTest::newRow("digit") << int(Qt::Key_7) << int(Qt::AltModifier) << "Alt 7" << 55u << 1u;
    QTest::newRow("keypad digit") << int(Qt::Key_5) << int(Qt::KeypadModifier) << "Num 5" << 101u
                                  << 0u;
    QTest::newRow("keypad minus") << int(Qt::Key_Minus) << int(Qt::KeypadModifier) << "-" << 109u
                                  << 0u;
    QTest::newRow("page up") << int(Qt::Key_PageUp) << 0 << "Prior" << 33u << 0u;
    QTest::newRow("F24") << int(Qt::Key_F24) << int(Qt::ShiftModifier) << "Shift F24" << 135u << 2u;
    QTest::newRow("Ctrl alone") << int(Qt::Key_Control) << 0 << "Ctrl " << 17u << 4u;
    // A key the table has no code for: only the modifiers show.
    QTest::newRow("no name") << int(Qt::Key_BracketLeft) << int(Qt::ControlModifier) << "Ctrl "
                             << 0u << 4u;
    // Enter and Esc with a modifier are keys to choose, not the buttons.
    QTest::newRow("Ctrl Enter") << int(Qt::Key_Return) << int(Qt::ControlModifier) << "Ctrl Return"
                                << 13u << 4u;
    QTest::newRow("Shift Esc") << int(Qt::Key_Escape) << int(Qt::ShiftModifier) << "Shift Escape"
                               << 27u << 2u;
    QTest::newRow("Ctrl Tab") << int(Qt::Key_Tab) << int(Qt::ControlModifier) << "Ctrl Tab" << 9u
                              << 4u;
    // The label's own Alt+K is a combination like the others.
    QTest::newRow("mnemonic") << int(Qt::Key_K) << int(Qt::AltModifier) << "Alt K" << 75u << 1u;
  }

  void KeysAreNamedAsTheHookGrabsThem() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, text);
    QFETCH(unsigned, code);
    QFETCH(unsigned, bits);
    TStartedProgram run(kFiles);
    QString shown;
    bool stillOpen = false;
    FromMenu(run, [&](TAssignHotKey& d) {
      Press(d, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
      shown = d.Edit1->text();
      stillOpen = d.isVisible();
      d.btnSetKey->click();
    });
    QCOMPARE(shown, text);
    QVERIFY(stillOpen);
    // Stored and handed to the hook even without a name.
    QCOMPARE(run.Env.Dword("HotKey"), code);
    QCOMPARE(run.Env.Dword("HotKeyShift"), bits);
    QCOMPARE(run.Env.Hook().LastKey, code);
    QCOMPARE(run.Env.Hook().LastModifiers, bits);
  }

  void ACodeWithoutANameShowsOnlyTheModifiersAndIsStored() {
    TStartedProgram run(kFiles);
    QString shown;
    FromMenu(run, [&](TAssignHotKey& d) {
      d.Edit1KeyDown(186, false, true, true);
      shown = d.Edit1->text();
      d.btnSetKey->click();
    });
    QCOMPARE(shown, QStringLiteral("Ctrl Shift "));
    QCOMPARE(run.Env.Dword("HotKey"), 186u);
    QCOMPARE(run.Env.Dword("HotKeyShift"), 6u);
    QCOMPARE(run.Env.Hook().LastKey, 186u);
  }

  void AssignWithoutAKeyStoresWhatTheOpeningRead() {
    TStartedProgram run(kFiles);
    // Changed behind the program's back: the opening reads it anew.
    run.Env.SetDword("HotKey", 'Q');
    run.Env.SetDword("HotKeyShift", 2);
    const int calls = run.Env.Hook().SetKeyCalls;
    QString shown;
    FromMenu(run, [&](TAssignHotKey& d) {
      shown = d.Edit1->text();
      d.btnSetKey->click();
    });
    QCOMPARE(shown, QStringLiteral("Shift Q"));
    QCOMPARE(run.Env.Dword("HotKey"), unsigned('Q'));
    QCOMPARE(run.Env.Dword("HotKeyShift"), 2u);
    QCOMPARE(run.Env.Hook().SetKeyCalls, calls + 1);
    QCOMPARE(run.Env.Hook().LastKey, unsigned('Q'));
    QCOMPARE(run.Env.Hook().LastModifiers, 2u);
  }

  void OnlyTheThreeModifierBitsAreNamed_data() {
    QTest::addColumn<unsigned>("stored");
    QTest::addColumn<QString>("text");
    QTest::newRow("high bits") << 0xFFFF0004u << "Ctrl F";
    QTest::newRow("bit 8 and all three") << 0x10Fu << "Shift Ctrl Alt F";
    QTest::newRow("other low bits") << 0xF8u << "F";
  }

  void OnlyTheThreeModifierBitsAreNamed() {
    QFETCH(unsigned, stored);
    QFETCH(QString, text);
    TStartedProgram run(kFiles);
    run.Env.SetDword("HotKeyShift", stored);
    QString shown;
    FromMenu(run, [&](TAssignHotKey& d) {
      shown = d.Edit1->text();
      d.btnCancel->click();
    });
    QCOMPARE(shown, text);
  }

  void EnterAssignsAndEscCancels() {
    TStartedProgram run(kFiles);
    const int calls = run.Env.Hook().SetKeyCalls;
    TDialogRun dialog = FromMenu(run, [&](TAssignHotKey& d) {
      Press(d, Qt::Key_F9, Qt::ControlModifier);
      Press(d, Qt::Key_Escape);
    });
    QVERIFY(!dialog.LeftOpen);
    QCOMPARE(run.Env.Dword("HotKey"), 0x46u);  // Cancel writes nothing
    QCOMPARE(run.Env.Dword("HotKeyShift"), 5u);
    QCOMPARE(run.Env.Hook().SetKeyCalls, calls);

    dialog = FromMenu(run, [&](TAssignHotKey& d) {
      Press(d, Qt::Key_F9, Qt::ControlModifier);
      Press(d, Qt::Key_Return);
    });
    QVERIFY(!dialog.LeftOpen);
    QCOMPARE(run.Env.Dword("HotKey"), 120u);
    QCOMPARE(run.Env.Dword("HotKeyShift"), 4u);
    QCOMPARE(run.Env.Hook().SetKeyCalls, calls + 1);
  }

  void TabMovesTheFocusInsteadOfChoosingAKey() {
    TStartedProgram run(kFiles);
    QWidget* focus = nullptr;
    QString shown;
    FromMenu(run, [&](TAssignHotKey& d) {
      Press(d, Qt::Key_Tab);
      focus = d.focusWidget();
      shown = d.Edit1->text();
      d.btnCancel->click();
    });
    QVERIFY(focus != nullptr);
    QCOMPARE(focus->objectName(), QStringLiteral("btnSetKey"));
    QCOMPARE(shown, QStringLiteral("Ctrl Alt F"));
  }

  void AKeyHeldElsewhereIsStoredAndTheUserIsTold() {
    TStartedProgram run(kFiles);
    run.Env.Hook().SetKeyResult = 0;
    run.Boxes.Expect(shell::kIdOk);
    FromMenu(run, [&](TAssignHotKey& d) {
      Press(d, Qt::Key_F5, Qt::ControlModifier | Qt::AltModifier);
      d.btnSetKey->click();
    });
    QCOMPARE(run.Env.Dword("HotKey"), 116u);
    QCOMPARE(run.Env.Dword("HotKeyShift"), 5u);
    QCOMPARE(run.Boxes.Boxes.size(), std::size_t{1});
    QCOMPARE(run.Boxes.Boxes[0].Text,
             QStringLiteral("The hot key Ctrl Alt F5 is in use by another program, so it cannot "
                            "call up Varnoke. Choose another one with Set Hot Key in the File "
                            "menu."));
    QVERIFY(!run.Under->Program.QuitRequested());
  }

  void ASettingThatCannotBeWrittenLeavesTheHookAlone() {
    TStartedProgram run(kFiles);
    const int calls = run.Env.Hook().SetKeyCalls;
    run.Boxes.Expect(shell::kIdOk);
    FromMenu(run, [&](TAssignHotKey& d) {
      Press(d, Qt::Key_F5, Qt::ControlModifier);
      std::ofstream(run.Env.HivePath()) << "not a hive\n";
      d.btnSetKey->click();
    });
    QCOMPARE(run.Env.Hook().SetKeyCalls, calls);
    QCOMPARE(run.Boxes.Boxes.size(), std::size_t{1});
    QVERIFY(run.Boxes.Boxes[0].Text.contains(QStringLiteral("could not be opened")));
    // An error that reaches the program's handler ends the program.
    QVERIFY(run.Under->Program.QuitRequested());
    // The hive that could not be read was not written over.
    QCOMPARE(testing::ReadWhole(run.Env.HivePath()), std::string("not a hive\n"));
  }
};

QTEST_MAIN(THotKeyDialogTest)
#include "hotkey_dialog_test.moc"
