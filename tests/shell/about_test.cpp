// The splash, About and scan-progress window: its modes, and the question
// that guards a running scan.
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QtTest>

#include "shell/about.h"
#include "shell/message_box.h"
#include "shell/resources.h"
#include "shell/window_scale.h"
#include "tests/shell/shell_environment.h"

using namespace varnoke;
using namespace varnoke::testing;

class TAboutTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { shell::InitResources(); }

  void SplashIsModelessAndClosesItself() {
    TBoxAnswers boxes;
    shell::TFormAbout about;
    about.SetSplashMode(shell::TSplashMode::Splash);
    QVERIFY(about.isVisible());
    QCOMPARE(about.windowTitle(), QStringLiteral("Varnoke 96"));
    QVERIFY(!about.ProgressBar1->isVisible());
    QVERIFY(about.Timer1->isActive());
    QCOMPARE(about.Timer1->interval(), 5000);
    // The timer's end closes it, without a question.
    QMetaObject::invokeMethod(about.Timer1, "timeout", Qt::DirectConnection);
    QVERIFY(!about.isVisible());
    QVERIFY(boxes.Boxes.empty());
  }

  void EscOrEnterCloseTheSplash() {
    TBoxAnswers boxes;
    shell::TFormAbout about;
    for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
      about.SetSplashMode(shell::TSplashMode::Splash);
      QTest::keyClick(&about, key);
      QVERIFY(!about.isVisible());
    }
    QVERIFY(boxes.Boxes.empty());
  }

  void AboutIsModalUntilClosed() {
    TBoxAnswers boxes;
    shell::TFormAbout about;
    bool wasModal = false;
    QTimer::singleShot(0, &about, [&] {
      wasModal = about.isVisible() && QApplication::activeModalWidget() == &about;
      QCOMPARE(about.windowTitle(), QStringLiteral("About Varnoke 96"));
      QVERIFY(!about.Timer1->isActive());
      QTest::keyClick(&about, Qt::Key_Enter);
    });
    about.SetSplashMode(shell::TSplashMode::About);  // returns once closed
    QVERIFY(wasModal);
    QVERIFY(!about.isVisible());
    QVERIFY(boxes.Boxes.empty());
  }

  void ClosingTheProgressAsksAndNoLetsTheScanGoOn() {
    TBoxAnswers boxes;
    shell::TFormAbout about;
    int cancelled = 0;
    about.OnScanCancelled = [&] { ++cancelled; };
    about.SetSplashMode(shell::TSplashMode::Splash);
    about.SetSplashMode(
        shell::TSplashMode::ModelessScan);  // a splash still up turns into the progress
    QCOMPARE(about.windowTitle(), QStringLiteral("Scanning your hard drives..."));
    QVERIFY(about.ProgressBar1->isVisible());
    QVERIFY(!about.Timer1->isActive());
    boxes.Expect(shell::kIdNo);
    QTest::keyClick(&about, Qt::Key_Escape);
    QVERIFY(about.isVisible());
    QCOMPARE(cancelled, 0);
    QCOMPARE(boxes.Boxes.at(0).Text,
             QStringLiteral("Cancelling the scan operation now will shut down Varnoke. Are you "
                            "sure you wish to continue?"));
    QCOMPARE(boxes.Boxes.at(0).Flags, unsigned(shell::kMbIconWarning | shell::kMbYesNo));
    boxes.Expect(shell::kIdYes);
    about.close();
    QVERIFY(!about.isVisible());
    QCOMPARE(cancelled, 1);
  }

  void CloseSplashEndsAScanWithoutAQuestion() {
    TBoxAnswers boxes;
    shell::TFormAbout about;
    about.SetSplashMode(shell::TSplashMode::ModelessScan);
    about.SetProgress(250);  // a scan may go beyond 100
    QCOMPARE(about.ProgressBar1->value(), 100);
    about.CloseSplash();
    QVERIFY(!about.isVisible());
    QCOMPARE(about.SplashMode(), shell::TSplashMode::Splash);
    QVERIFY(boxes.Boxes.empty());
  }

  void OtherModesOnlyChangeTheMode() {
    shell::TFormAbout about;
    about.SetSplashMode(static_cast<shell::TSplashMode>(7));
    QCOMPARE(about.SplashMode(), static_cast<shell::TSplashMode>(7));
    QVERIFY(!about.isVisible());
  }

  void LaidOutFromTheDesign() {
    shell::TFormAbout about;
    QCOMPARE(about.size(), QSize(339, 275));
    QCOMPARE(about.Image1->geometry(), QRect(60, 13, 250, 65));
    QCOMPARE(about.Image2->geometry(), QRect(14, 19, 32, 32));
    QCOMPARE(about.ProgressBar1->geometry(), QRect(65, 247, 245, 13));
    QCOMPARE(about.ProgressBar1->maximum(), 100);
    QVERIFY(!about.Image1->pixmap().isNull());
    // The pictures are drawn: the window is not all black.
    about.SetSplashMode(shell::TSplashMode::ModelessScan);
    about.SetProgress(40);
    const QImage shot = about.grab().toImage();
    QDir().mkpath(QStringLiteral(VARNOKE_SCREENSHOT_DIR));
    shot.save(QStringLiteral(VARNOKE_SCREENSHOT_DIR "/progress-window.png"));
    const QPoint logo = about.Image1->geometry().center();
    int lit = 0;
    for (int x = about.Image1->x(); x < about.Image1->geometry().right(); ++x)
      lit += qGray(shot.pixel(x, logo.y())) > 64;
    QVERIFY(lit > 0);
    about.CloseSplash();
  }
};

QTEST_MAIN(TAboutTest)
#include "about_test.moc"
