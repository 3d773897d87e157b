// The resident program as a test runs it: the machine's services over the
// test's environment, the stand-in desktop, and the windows created.
#pragma once

#include <sys/stat.h>

#include <QEvent>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shell/about.h"
#include "shell/host_services.h"
#include "shell/program.h"
#include "tests/shell/fake_desktop.h"

namespace varnoke::testing {

struct TProgramUnderTest {
  TProgramUnderTest() {
    Program.TrayWaitTimeout = std::chrono::milliseconds(50);
    Program.CreateWindows();
  }

  shell::THostServices Host;
  TFakeDesktop Desktop;
  shell::TProgram Program{Host, Desktop};
};

// Runs action once, from the event loop, when a window whose object name is
// name is shown; keeps the titles of every window shown meanwhile.
class TOnShow : public QObject {
 public:
  TOnShow(QString name, std::function<void(QWidget&)> action)
      : name_(std::move(name)), action_(std::move(action)) {
    qApp->installEventFilter(this);
  }
  ~TOnShow() override { qApp->removeEventFilter(this); }

  std::vector<QString> Titles;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (event->type() == QEvent::Show && widget != nullptr && widget->isWindow()) {
      Titles.push_back(widget->windowTitle());
      if (action_ && widget->objectName() == name_) {
        auto action = std::move(action_);
        action_ = nullptr;
        QTimer::singleShot(0, widget, [widget, action] { action(*widget); });
      }
    }
    return false;
  }

 private:
  QString name_;
  std::function<void(QWidget&)> action_;
};

// The inode of a file, to tell a file left alone from one replaced; 0 when
// there is none.
inline ino_t Inode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

}  // namespace varnoke::testing
