// Start-up and shut-down of the resident program: every way out and what it
// leaves behind (the database file, SaveSuccessful, the exit code), the
// start-up failures, and when a start loads the database or scans.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <thread>

#include <QtTest>

#include "db/memory_db.h"
#include "live/live_client.h"
#include "settings/registry_error.h"
#include "shell/about.h"
#include "shell/app_exception.h"
#include "shell/entry.h"
#include "shell/tray_icon.h"
#include "shell/uiform.h"
#include "tests/shell/program_under_test.h"
#include "tests/shell/shell_environment.h"

using namespace varnoke;
using namespace varnoke::testing;

namespace {

constexpr int kFiles = 300;

void FillDisk(TShellEnvironment& env) {
  for (int i = 0; i < kFiles; ++i)
    env.MakeFile("docs/sub" + std::to_string(i % 7) + "/file" + std::to_string(i) + ".txt");
}

// Runs the program from StartUp to its end; then, from the event loop,
// what ends it.
int RunUntil(TProgramUnderTest& under, const std::function<void(shell::TProgram&)>& end) {
  const QMetaObject::Connection running =
      QObject::connect(&under.Program, &shell::TProgram::Running, &under.Program,
                       [&] { end(under.Program); });
  const int code = shell::RunResident(under.Program);
  QObject::disconnect(running);
  return code;
}

// A first run that scans and ends with the session: the database is saved.
void SaveOnce(TShellEnvironment& env) {
  TProgramUnderTest under;
  QCOMPARE(RunUntil(under, [](shell::TProgram& p) { p.EndSession(); }), 0);
  QCOMPARE(env.Dword("SaveSuccessful"), 1u);
}

}  // namespace

class TStartupTest : public QObject {
  Q_OBJECT

 private slots:
  void SessionEndSavesAndTheNextStartLoads() {
    TShellEnvironment env;
    TBoxAnswers boxes;
    FillDisk(env);
    SaveOnce(env);
    QVERIFY(!env.Database().empty());
    const ino_t saved = Inode(env.DatabasePath());

    TProgramUnderTest again;
    TOnShow shown(QStringLiteral("FormAbout"), nullptr);
    QVERIFY(again.Program.StartUp());
    // Loaded, not scanned: no progress window, and the file is the saved one.
    QVERIFY(shown.Titles.empty());
    QCOMPARE(Inode(env.DatabasePath()), saved);
    QCOMPARE(env.Dword("SaveSuccessful"), 0u);
    QCOMPARE(static_cast<int>(again.Program.MemoryDB->DDList().FileCount()), kFiles);
    again.Program.ShutDown();
    QCOMPARE(env.Dword("SaveSuccessful"), 1u);
    QVERIFY(!boxes.Unexpected());
  }

  void ExitAnsweredYesSavesNothingAndRemovesTheHook() {
    TShellEnvironment env;
    TBoxAnswers boxes;
    FillDisk(env);
    SaveOnce(env);
    const ino_t saved = Inode(env.DatabasePath());

    TProgramUnderTest under;
    boxes.Expect(shell::kIdYes);
    const int code = RunUntil(under, [](shell::TProgram& p) { p.Form().Exit1Click(); });
    QCOMPARE(code, 0);
    QCOMPARE(boxes.Boxes.size(), std::size_t{1});
    QCOMPARE(boxes.Boxes[0].Caption, QStringLiteral("Varnoke"));
    QCOMPARE(boxes.Boxes[0].Text,
             QStringLiteral("Terminating Varnoke now will require that Varnoke rebuild the filename "
                            "database the next time that Varnoke restarts. Are you sure you wish "
                            "to terminate now?"));
    QCOMPARE(boxes.Boxes[0].Flags, unsigned(shell::kMbYesNo | shell::kMbIconWarning));
    QCOMPARE(env.Dword("SaveSuccessful"), 0u);  // written by the load, never set back to 1
    QCOMPARE(Inode(env.DatabasePath()), saved);
    QCOMPARE(env.Hook().LastFlag, 0u);
    QVERIFY(!env.Hook().Installed);
  }

  void ExitAnsweredNoChangesNothing() {
    TShellEnvironment env;
    TBoxAnswers boxes;
    TProgramUnderTest under;
    QVERIFY(under.Program.StartUp());
    boxes.Expect(shell::kIdNo);
    under.Program.Form().Exit1Click();
    QVERIFY(!under.Program.QuitRequested());
    QVERIFY(env.Hook().Installed);
    QVERIFY(!under.Program.NoSaveOnExit);
    under.Program.ShutDown();
  }

  void CancelledStartupScanSavesNothing() {
    TShellEnvironment env;
    TBoxAnswers boxes;
    FillDisk(env);
    env.SetDword("SaveSuccessful", 7);
    TProgramUnderTest under;
    boxes.Expect(shell::kIdYes);
    TOnShow cancel(QStringLiteral("FormAbout"), [](QWidget& about) { about.close(); });
    QCOMPARE(shell::RunResident(under.Program), 0);
    QCOMPARE(boxes.Boxes.size(), std::size_t{1});
    QCOMPARE(boxes.Boxes[0].Text,
             QStringLiteral("Cancelling the scan operation now will shut down Varnoke. Are you "
                            "sure you wish to continue?"));
    QVERIFY(under.Program.NoSaveOnExit);
    QVERIFY(env.Database().empty());
    QCOMPARE(env.Dword("SaveSuccessful"), 7u);
  }

  void ScanGoesOnWhenTheCancelIsDeclined() {
    TShellEnvironment env;
    TBoxAnswers boxes;
    FillDisk(env);
    TProgramUnderTest under;
    boxes.Expect(shell::kIdNo);
    TOnShow cancel(QStringLiteral("FormAbout"), [](QWidget& about) { about.close(); });
    QVERIFY(under.Program.StartUp());
    QVERIFY(boxes.AllAnswered());
    QCOMPARE(static_cast<int>(under.Program.MemoryDB->DDList().FileCount()), kFiles);
    QVERIFY(!under.Program.About().isVisible());
    under.Program.ShutDown();
    QCOMPARE(env.Dword("SaveSuccessful"), 1u);
  }

  void CancelledMenuScanEndsWithoutSaving() {
    TShellEnvironment env;
    TBoxAnswers boxes;
    FillDisk(env);
    SaveOnce(env);
    const ino_t saved = Inode(env.DatabasePath());
    TProgramUnderTest under;
    boxes.Expect(shell::kIdYes);
    TOnShow* cancel = nullptr;
    const int code = RunUntil(under, [&](shell::TProgram& p) {
      cancel = new TOnShow(QStringLiteral("FormAbout"), [](QWidget& about) { about.close(); });
      shell::Guarded([&p] { p.Form().ScanDrives1Click(); })();
    });
    delete cancel;
    QCOMPARE(code, 0);
    QVERIFY(under.Program.NoSaveOnExit);
    QCOMPARE(Inode(env.DatabasePath()), saved);
    QCOMPARE(env.Dword("SaveSuccessful"), 0u);
  }

  void AMenuScanThatCannotBeSavedSaysWhy() {
    TShellEnvironment env;
    TBoxAnswers boxes;
    FillDisk(env);
    TProgramUnderTest under;
    const int code = RunUntil(under, [&](shell::TProgram& p) {
      // A folder in the file's place: its replacement fails, even as root.
      ::unlink(env.DatabasePath().c_str());
      ::mkdir(env.DatabasePath().c_str(), 0755);
      std::ofstream(env.DatabasePath() + "/keep") << "x";
      p.Form().ScanDrives1Click();
      const QString notice = p.Tray()->LastMessage();
      QVERIFY2(notice.startsWith(QStringLiteral("The filename database could not be saved to ") +
                                 QString::fromStdString(env.DatabasePath()) + " ("),
               qPrintable(notice));
      QVERIFY(notice.endsWith(QStringLiteral("); the next start scans the drives again.")));
      QVERIFY(!notice.contains(QStringLiteral("reason unknown")));
      // The tree itself is whole.
      QCOMPARE(static_cast<int>(p.MemoryDB->DDList().FileCount()), kFiles);
      p.EndSession();
    });
    QCOMPARE(code, 0);
    // The shut-down save fails the same way: SaveSuccessful is not set.
    QCOMPARE(env.Dword("SaveSuccessful"), 0u);
  }

  void OtherExceptionsShowTheirMessageAndSave() {
    TShellEnvironment env;
    TBoxAnswers boxes;
    TProgramUnderTest under;
    boxes.Expect(shell::kIdOk);
    const int code = RunUntil(under, [](shell::TProgram&) {
      shell::Guarded([] { throw settings::ERegistry("The settings are gone."); })();
    });
    QCOMPARE(code, 0);
    QCOMPARE(boxes.Boxes.size(), std::size_t{1});
    QCOMPARE(boxes.Boxes[0].Text, QStringLiteral("The settings are gone."));
    QCOMPARE(boxes.Boxes[0].Caption, QStringLiteral("Varnoke"));
    QCOMPARE(boxes.Boxes[0].Flags, unsigned(shell::kMbIconError));
    QCOMPARE(env.Dword("SaveSuccessful"), 1u);
    QVERIFY(!env.Database().empty());
  }

  void WithoutATrayTheProgramRunsOnAndSaves() {
    TShellEnvironment env;
    TBoxAnswers boxes;
    TProgramUnderTest under;
    under.Desktop.TrayThere = false;
    QCOMPARE(RunUntil(under,
                      [](shell::TProgram& p) {
                        QVERIFY(!p.Tray()->Added());
                        p.EndSession();
                      }),
             0);
    QCOMPARE(env.Dword("SaveSuccessful"), 1u);
  }

  void ATrayThatComesLateGetsTheIcon() {
    TShellEnvironment env;
    TBoxAnswers boxes;
    TProgramUnderTest under;
    under.Program.TrayWaitTimeout = std::chrono::seconds(20);
    under.Desktop.TrayThere = false;
    QTimer::singleShot(20, [&] {
      under.Desktop.TrayThere = true;
      if (under.Desktop.TrayChanged) under.Desktop.TrayChanged();
    });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(under.Program.StartUp());
    QVERIFY(under.Program.Tray()->Added());
    QVERIFY(clock.elapsed() < 10000);  // woken by the arrival, not by the deadline
    under.Program.ShutDown();
  }

  void StartupFailures_data() {
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("text");
    QTest::newRow("no hook library")
        << "4099"
        << "EInitialization: Failed to load the mhook.dll dynamic link library. Varnoke cannot "
           "continue execution at this time. If re-installing Varnoke does not succeed, please "
           "contact technical support.";
    QTest::newRow("no device")
        << "4098"
        << "EInitialization: Failed to load the varnoke.vxd virtual device driver. Varnoke "
           "cannot continue execution at this time. If re-installing Varnoke does not succeed, "
           "please contact technical support.";
    QTest::newRow("hook not installed")
        << "4096"
        << "EInitialization: Failed to initialize the Varnoke dynamic link library. Varnoke "
           "cannot continue execution at this time. If re-installing Varnoke does not succeed, "
           "please contact technical support.";
    QTest::newRow("messages not registered")
        << "4097"
        << "EInitialization: Failed to register custom windows messages. Varnoke cannot "
           "continue execution at this time. This problem can be caused by Windows 95 being "
           "extremely low on system resources. Try unloading some applications or re-starting "
           "Windows 95.";
    QTest::newRow("missing setting")
        << "8193"
        << "ERegistry: The value: 'StartupOptions'  of the key: 'Varnoke\\Settings' could not "
           "be opened in the Windows Registry. This could be an indication of more serious "
           "problems. Run a registry maintenance program, or re-install this software to "
           "correct this problem.";
  }

  void StartupFailures() {
    QFETCH(QString, failure);
    QFETCH(QString, text);
    TShellEnvironment env;
    TBoxAnswers boxes;
    FillDisk(env);
    SaveOnce(env);
    const std::string before = env.Database();
    TProgramUnderTest under;
    TTempDir empty;
    if (failure == "4099") ::unlink((env.Install() + "/mhook.dll").c_str());
    if (failure == "4098") under.Program.SystemDirectory = empty.Path();
    if (failure == "4096") env.Hook().InstallResult = 0;
    if (failure == "4097") under.Desktop.FailRegistration = true;
    if (failure == "8193") {
      platform::THiveFile hive(env.HivePath());
      std::string problem;
      hive.Modify(
          [](platform::THiveContents& contents) {
            auto& values = contents.Find("HKEY_CLASSES_ROOT\\Varnoke\\Settings")->Values;
            std::erase_if(values, [](const auto& v) { return v.Name == "StartupOptions"; });
            return true;
          },
          problem);
    }
    boxes.Expect(shell::kIdOk);
    QCOMPARE(shell::RunResident(under.Program), 1);
    QCOMPARE(boxes.Boxes.size(), std::size_t{1});
    QCOMPARE(boxes.Boxes[0].Caption, QStringLiteral("Application Error"));
    QCOMPARE(boxes.Boxes[0].Text, text);
    QVERIFY(boxes.Boxes[0].Flags & shell::kMbIconError);
    // Nothing saved: the file and SaveSuccessful are as the last run left them.
    QVERIFY(env.Database() == before);
    QCOMPARE(env.Dword("SaveSuccessful"), 1u);
  }

  void LoadOrScan_data() {
    QTest::addColumn<unsigned>("saved");
    QTest::addColumn<unsigned>("options");
    QTest::addColumn<bool>("damaged");
    QTest::addColumn<bool>("loads");
    QTest::addColumn<unsigned>("savedAfter");
    QTest::newRow("saved cleanly") << 1u << 1u << false << true << 0u;
    QTest::newRow("without resync") << 0u << 2u << false << true << 0u;
    QTest::newRow("checksum mismatch") << 1u << 1u << true << false << 0u;
    QTest::newRow("not saved cleanly") << 5u << 1u << false << false << 5u;
    QTest::newRow("not automatic") << 0u << 3u << false << false << 0u;
  }

  void LoadOrScan() {
    QFETCH(unsigned, saved);
    QFETCH(unsigned, options);
    QFETCH(bool, damaged);
    QFETCH(bool, loads);
    QFETCH(unsigned, savedAfter);
    TShellEnvironment env;
    TBoxAnswers boxes;
    FillDisk(env);
    SaveOnce(env);
    env.SetDword("SaveSuccessful", saved);
    env.SetDword("StartupOptions", options);
    if (damaged) env.SetDword("CRC32", env.Dword("CRC32") ^ 1);
    const ino_t before = Inode(env.DatabasePath());
    TProgramUnderTest under;
    TOnShow shown(QStringLiteral("FormAbout"), nullptr);
    QVERIFY(under.Program.StartUp());
    QCOMPARE(Inode(env.DatabasePath()) == before, loads);
    QCOMPARE(shown.Titles.empty(), loads);
    if (!loads) QCOMPARE(shown.Titles.back(), QStringLiteral("Scanning your hard drives..."));
    QCOMPARE(env.Dword("SaveSuccessful"), savedAfter);
    QCOMPARE(static_cast<int>(under.Program.MemoryDB->DDList().FileCount()), kFiles);
    under.Program.ShutDown();
  }

  void SplashShowsOnlyWhenAsked() {
    TShellEnvironment env;
    TBoxAnswers boxes;
    SaveOnce(env);
    env.SetDword("ShowSplash", 1);
    TProgramUnderTest under;
    TOnShow shown(QStringLiteral("FormAbout"), nullptr);
    QVERIFY(under.Program.StartUp());
    QCOMPARE(shown.Titles, std::vector<QString>{QStringLiteral("Varnoke 96")});
    QVERIFY(under.Program.About().isVisible());
    QCOMPARE(under.Program.About().SplashMode(), shell::TSplashMode::Splash);
    under.Program.ShutDown();
  }

  void TheHotKeyIsSetFromTheSettings() {
    TShellEnvironment env;
    TBoxAnswers boxes;
    env.SetDword("HotKey", 0xABCD0074);  // the upper half is not part of the key
    env.SetDword("HotKeyShift", 6);
    TProgramUnderTest under;
    QVERIFY(under.Program.StartUp());
    QCOMPARE(env.Hook().LastFlag, 1u);
    QCOMPARE(env.Hook().LastWindow, static_cast<std::uint64_t>(under.Program.Form().winId()));
    QCOMPARE(env.Hook().LastKey, 0x74u);
    QCOMPARE(env.Hook().LastModifiers, 6u);
    QCOMPARE(under.Program.HotKeyCode, std::uint16_t{0x74});
    under.Program.ShutDown();
  }

  void AChangeOnTheDiskShowsInTheNextSearch() {
    TShellEnvironment env;
    TBoxAnswers boxes;
    FillDisk(env);
    TProgramUnderTest under;
    QVERIFY(under.Program.StartUp());
    TMemoryDB& db = *under.Program.MemoryDB;
    QVERIFY(under.Program.WaitUntilMonitoring());
    env.MakeFile("docs/NEWLY-MADE.TXT");
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
          db.Search("NEWLY-MADE.TXT");
          return db.ResultCount() == 1;
        }(),
        10000);
    under.Program.ShutDown();
  }

  void OtherProcessesAreAnsweredOnlyWhileTheProgramRuns() {
    TShellEnvironment env;
    TBoxAnswers boxes;
    FillDisk(env);
    TProgramUnderTest under;
    const std::string socket = env.Config() + "/Varnoke96.find";
    under.Program.LiveSocketName = socket;
    QVERIFY(under.Program.StartUp());
    TMemoryDB& db = *under.Program.MemoryDB;
    QVERIFY(under.Program.WaitUntilMonitoring());
    db.Search("FILE1*.TXT");
    const int windowRows = db.ResultCount();
    env.MakeFile("docs/LIVE-MADE.TXT");
    std::string problem;
    const auto ask = [&](const std::string& pattern) {
      return live::AskRunningProgram(socket, {pattern, live::TLiveOrder::None, true}, problem);
    };
    QTRY_VERIFY_WITH_TIMEOUT(ask("LIVE-MADE.TXT") && ask("LIVE-MADE.TXT")->Rows == 1, 10000);
    QCOMPARE(ask("*.TXT")->Rows, static_cast<std::uint64_t>(kFiles + 1));
    QCOMPARE(db.ResultCount(), windowRows);
    under.Program.ShutDown();
    QVERIFY(!ask("*.TXT"));
  }

  // However the program ends, its readers of the database stop before the
  // database is freed: here the program object simply goes away, with
  // searches from another process arriving all the while.
  void TheDatabaseOutlivesEveryReaderWhenTheProgramGoesAway() {
    TShellEnvironment env;
    TBoxAnswers boxes;
    FillDisk(env);
    auto under = std::make_unique<TProgramUnderTest>();
    const std::string socket = "VarnokeTest.readers-" + std::to_string(::getpid());
    under->Program.LiveSocketName = socket;
    QVERIFY(under->Program.StartUp());
    QVERIFY(under->Program.WaitUntilMonitoring());
    std::atomic<int> answered{0};
    std::atomic<bool> stop{false};
    std::thread asker([&] {
      std::string problem;
      while (!stop) {
        if (live::AskRunningProgram(socket, {"*", live::TLiveOrder::Path, true}, problem))
          ++answered;
      }
    });
    QTRY_VERIFY_WITH_TIMEOUT(answered > 2, 10000);
    env.MakeFile("docs/MADE-WHILE-ENDING.TXT");
    under.reset();
    stop = true;
    asker.join();
  }
};

QTEST_MAIN(TStartupTest)
#include "startup_test.moc"
