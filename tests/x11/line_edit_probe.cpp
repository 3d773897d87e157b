// line-edit-probe [--text TEXT] [--text-file PATH] [--size WxH]: one window with one
// focused line edit holding TEXT, all of it selected. Prints "window <id>"
// once the window is shown, "focused" whenever the line edit gains the
// keyboard focus (keys typed before may go nowhere), and on every "VARNOKE_PROBE_REPORT"
// ClientMessage prints "changes <how often its text changed so far>" and "text <the line edit's
// text>", after everything sent to it before that message has been handled. With --text-file, also
// writes the text to PATH (replacing it whole) whenever it changes.
#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QSaveFile>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>

#include "platform/x11/window_messages.h"
#include "platform/x11/x11_display.h"

namespace {

using varnoke::platform::DecodeClientMessage;
using varnoke::platform::TClientMessage;

class TReportFilter : public QAbstractNativeEventFilter {
 public:
  TReportFilter(std::uint32_t report, QLineEdit* edit) : report_(report), edit_(edit) {
    QObject::connect(edit, &QLineEdit::textChanged, [this] { ++changes_; });
  }
  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    TClientMessage decoded;
    if (type != "xcb_generic_event_t" || !DecodeClientMessage(message, decoded)) return false;
    if (decoded.Message != report_) return false;
    // Qt hands key events on to the widgets after the native events read
    // with them: a queued call comes after the keys sent before the report.
    QMetaObject::invokeMethod(
        edit_,
        [this, edit = edit_] {
          std::printf("changes %d\ntext %s\n", changes_, edit->text().toUtf8().constData());
          std::fflush(stdout);
        },
        Qt::QueuedConnection);
    return true;
  }

 private:
  std::uint32_t report_;
  QLineEdit* edit_;
  int changes_ = 0;  // typing changes the text once per character, setting it once
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QString text = "probe text";
  QString textFile;
  QString size = "480x80";
  const QStringList args = app.arguments();
  for (int i = 1; i + 1 < args.size(); ++i) {
    if (args[i] == "--text")
      text = args[++i];
    else if (args[i] == "--text-file")
      textFile = args[++i];
    else if (args[i] == "--size")
      size = args[++i];
  }
  auto display = varnoke::platform::TX11Display::Open();
  if (display == nullptr) return 2;
  const std::uint32_t report =
      varnoke::platform::RegisterWindowMessage(display.get(), "VARNOKE_PROBE_REPORT");

  QWidget window;
  window.setWindowTitle("Varnoke probe");
  auto* layout = new QVBoxLayout(&window);
  auto* edit = new QLineEdit(text, &window);
  layout->addWidget(edit);
  const QStringList sides = size.split('x');
  window.resize(sides.value(0).toInt(), sides.value(1).toInt());
  if (!textFile.isEmpty()) {
    QObject::connect(edit, &QLineEdit::textChanged, [textFile](const QString& now) {
      QSaveFile file(textFile);
      if (file.open(QIODevice::WriteOnly)) {
        file.write(now.toUtf8());
        file.commit();
      }
    });
  }
  QObject::connect(&app, &QApplication::focusChanged, [edit](QWidget*, QWidget* now) {
    if (now != edit) return;
    std::printf("focused\n");
    std::fflush(stdout);
  });
  TReportFilter filter(report, edit);
  app.installNativeEventFilter(&filter);
  window.show();
  edit->setFocus();
  edit->selectAll();
  std::printf("window %llu\n", static_cast<unsigned long long>(window.winId()));
  std::fflush(stdout);
  return app.exec();
}
