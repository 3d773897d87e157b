// The startup options dialog: its controls loaded from the settings, OK
// with each choice (the settings and the desktop's autostart entry), Cancel,
// and a Run key that cannot be opened.
#include <sys/stat.h>

#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <fstream>

#include "shell/startup_form.h"
#include "shell/uiform.h"
#include "tests/shell/dialog_runner.h"
#include "tests/shell/started_program.h"
#include "tests/shell/text_fits.h"
#include "tests/support/process.h"

using namespace varnoke;
using namespace varnoke::testing;
using shell::TStartupForm;

namespace {

const std::vector<std::string> kFiles = {"a.txt"};

std::string EntryPath(const TShellEnvironment& env) {
  return env.Config() + "/autostart/varnoke.desktop";
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// The Exec line the entry would have for the program in folder.
std::string ExecLine(const std::string& folder) {
  return "Exec=\"" + folder + "/varnoke\"";
}

bool HasLine(const std::string& text, const std::string& line) {
  return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

// Opens the dialog from the search window's menu and runs action in it.
TDialogRun FromMenu(TStartedProgram& run, const std::function<void(TStartupForm&)>& action) {
  return RunDialog<TStartupForm>(
      QStringLiteral("StartupForm"), [&] { run.Form().SetStartupOptions1->trigger(); }, action);
}

// Which of the three buttons is checked: 1 to 3, 0 for none.
int Checked(const TStartupForm& form) {
  if (form.RadioButton1->isChecked()) return 1;
  if (form.RadioButton2->isChecked()) return 2;
  if (form.RadioButton3->isChecked()) return 3;
  return 0;
}

}  // namespace

class TStartupFormTest : public QObject {
  Q_OBJECT

 private slots:
  void LaidOutAsDesignedAndLoadedFromTheSettings() {
    TStartedProgram run(kFiles);  // StartupOptions 1, ShowSplash 0
    int checked = -1;
    bool splash = true;
    bool enabled = false;
    FromMenu(run, [&](TStartupForm& d) {
      QCOMPARE(d.windowTitle(), QStringLiteral("Set Startup Options"));
      QVERIFY2(TextsThatDoNotFit(d).isEmpty(), qPrintable(TextsThatDoNotFit(d)));
      QCOMPARE(d.RadioButton1->text(), QStringLiteral("Start &Automatically"));
      QCOMPARE(d.RadioButton2->text(), QStringLiteral("Start Automatically &without ReSync"));
      QCOMPARE(d.RadioButton3->text(), QStringLiteral("Do &not Start Automatically"));
      QCOMPARE(d.CheckBox1->text(), QStringLiteral("Show splash screen on startup"));
      QCOMPARE(d.btnOK->text(), QStringLiteral("OK"));
      QVERIFY(d.btnOK->isDefault());
      checked = Checked(d);
      splash = d.CheckBox1->isChecked();
      enabled = d.CheckBox1->isEnabled();
      // One group: checking one unchecks the other.
      d.RadioButton2->setChecked(true);
      QVERIFY(!d.RadioButton1->isChecked());
      d.btnCancel->click();
    });
    QCOMPARE(checked, 1);
    QVERIFY(!splash);
    QVERIFY(enabled);
  }

  void OkStoresTheChoiceAndTheAutostartEntry_data() {
    QTest::addColumn<int>("choice");
    QTest::addColumn<bool>("splash");
    QTest::addColumn<bool>("entry");
    QTest::newRow("automatically") << 1 << true << true;
    QTest::newRow("without resync") << 2 << false << true;
    QTest::newRow("not automatically") << 3 << true << false;
  }

  void OkStoresTheChoiceAndTheAutostartEntry() {
    QFETCH(int, choice);
    QFETCH(bool, splash);
    QFETCH(bool, entry);
    TStartedProgram run(kFiles);
    // A stale entry, which option 3 removes and 1 and 2 replace.
    ::mkdir((run.Env.Config() + "/autostart").c_str(), 0755);
    std::ofstream(EntryPath(run.Env)) << "[Desktop Entry]\nExec=/old/varnoke\n";
    const TDialogRun dialog = FromMenu(run, [&](TStartupForm& d) {
      QRadioButton* buttons[] = {d.RadioButton1, d.RadioButton2, d.RadioButton3};
      buttons[choice - 1]->click();
      d.CheckBox1->setChecked(splash);
      d.btnOK->click();
    });
    QVERIFY(!dialog.LeftOpen);
    QCOMPARE(run.Env.Dword("StartupOptions"), unsigned(choice));
    QCOMPARE(run.Env.Dword("ShowSplash"), splash ? 1u : 0u);
    QCOMPARE(Exists(EntryPath(run.Env)), entry);
    if (entry) {
      // The program's link in the installation folder, made current by start-up.
      const std::string text = ReadWhole(EntryPath(run.Env));
      QVERIFY2(HasLine(text, ExecLine(run.Env.Install())), text.c_str());
    }
  }

  void TheTwoAutomaticChoicesWriteTheSameEntry() {
    TStartedProgram run(kFiles);
    std::string entries[2];
    for (int choice : {1, 2}) {
      FromMenu(run, [&](TStartupForm& d) {
        (choice == 1 ? d.RadioButton1 : d.RadioButton2)->click();
        d.btnOK->click();
      });
      entries[choice - 1] = ReadWhole(EntryPath(run.Env));
      QCOMPARE(run.Env.Dword("StartupOptions"), unsigned(choice));
    }
    QVERIFY(!entries[0].empty());
    QCOMPARE(entries[1], entries[0]);
  }

  void OkWithNoButtonCheckedStoresOneAndLeavesTheRunKeyAlone() {
    TShellEnvironment env;
    env.SetDword("StartupOptions", 7);
    env.SetDword("ShowSplash", 1);
    ::mkdir((env.Config() + "/autostart").c_str(), 0755);
    std::ofstream(EntryPath(env)) << "[Desktop Entry]\nExec=/someone/elses\n";
    const std::string before = ReadWhole(EntryPath(env));
    shell::THostServices host;
    TStartupForm form(host.Settings, host.AutoStart);
    int checked = -1;
    RunDialog<TStartupForm>(
        QStringLiteral("StartupForm"), [&] { form.Execute(); },
        [&](TStartupForm& d) {
          checked = Checked(d);
          QVERIFY(d.CheckBox1->isChecked());
          d.btnOK->click();
        });
    QCOMPARE(checked, 0);
    QCOMPARE(env.Dword("StartupOptions"), 1u);
    QCOMPARE(env.Dword("ShowSplash"), 1u);
    QCOMPARE(ReadWhole(EntryPath(env)), before);
  }

  void CancelWritesNothingButTheNextOpeningShowsTheChange() {
    TStartedProgram run(kFiles);
    const std::string hive = ReadWhole(run.Env.HivePath());
    FromMenu(run, [&](TStartupForm& d) {
      d.RadioButton3->click();
      d.CheckBox1->setChecked(true);
      d.btnCancel->click();
    });
    QCOMPARE(ReadWhole(run.Env.HivePath()), hive);
    QVERIFY(!Exists(EntryPath(run.Env)));
    int checked = -1;
    bool splash = false;
    FromMenu(run, [&](TStartupForm& d) {
      checked = Checked(d);
      splash = d.CheckBox1->isChecked();
      QTest::keyClick(d.RadioButton3, Qt::Key_Escape);  // Esc is Cancel too
    });
    QCOMPARE(checked, 3);
    QVERIFY(splash);
    QCOMPARE(ReadWhole(run.Env.HivePath()), hive);
  }

  void EnterIsOk() {
    TStartedProgram run(kFiles);
    const TDialogRun dialog = FromMenu(run, [&](TStartupForm& d) {
      d.RadioButton2->click();
      QTest::keyClick(d.RadioButton2, Qt::Key_Return);
    });
    QVERIFY(!dialog.LeftOpen);
    QCOMPARE(run.Env.Dword("StartupOptions"), 2u);
    QVERIFY(Exists(EntryPath(run.Env)));
  }

  void ARunKeyThatCannotBeOpenedStoresOptionOne_data() {
    QTest::addColumn<int>("choice");
    QTest::newRow("without resync") << 2;
    QTest::newRow("not automatically") << 3;
  }

  void ARunKeyThatCannotBeOpenedStoresOptionOne() {
    QFETCH(int, choice);
    TStartedProgram run(kFiles);
    // A file where the autostart folder would be made.
    std::ofstream(run.Env.Config() + "/autostart") << "in the way";
    FromMenu(run, [&](TStartupForm& d) {
      (choice == 2 ? d.RadioButton2 : d.RadioButton3)->click();
      d.CheckBox1->setChecked(true);
      d.btnOK->click();
    });
    QCOMPARE(run.Env.Dword("StartupOptions"), 1u);
    QCOMPARE(run.Env.Dword("ShowSplash"), 1u);
    QCOMPARE(ReadWhole(run.Env.Config() + "/autostart"), std::string("in the way"));
    QVERIFY(run.Boxes.Boxes.empty());
  }

  void TheEntryOfAFolderWithBlanksIsValid() {
    TShellEnvironment env;
    const std::string folder = env.Install() + "/My Programs";
    ::mkdir(folder.c_str(), 0755);
    QVERIFY(::chdir(folder.c_str()) == 0);
    shell::THostServices host;
    TStartupForm form(host.Settings, host.AutoStart);
    RunDialog<TStartupForm>(
        QStringLiteral("StartupForm"), [&] { form.Execute(); },
        [&](TStartupForm& d) { d.btnOK->click(); });  // StartupOptions 1
    const std::string text = ReadWhole(EntryPath(env));
    QVERIFY2(HasLine(text, ExecLine(folder)), text.c_str());
    const TProcessResult check =
        RunProcess("/usr/bin/desktop-file-validate", {EntryPath(env)}, {}, env.Install());
    // Out of the folder before it goes with the test's temporary tree.
    QVERIFY(::chdir("/") == 0);
    QCOMPARE(check.status, 0);
    QCOMPARE(QString::fromStdString(check.out + check.err), QString());
  }

  void ASettingThatCannotBeReadReachesTheProgramsHandler() {
    TStartedProgram run(kFiles);
    std::ofstream(run.Env.HivePath()) << "not a hive\n";
    run.Boxes.Expect(shell::kIdOk);
    const TDialogRun dialog = FromMenu(run, [](TStartupForm& d) { d.btnCancel->click(); });
    QVERIFY(!dialog.Shown);
    QCOMPARE(run.Boxes.Boxes.size(), std::size_t{1});
    QVERIFY(run.Under->Program.QuitRequested());
  }
};

QTEST_MAIN(TStartupFormTest)
#include "startup_form_test.moc"
