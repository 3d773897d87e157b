// The program's help: vk96.html, one anchor per help context number
// ("context-1"), shown in a window of the program's own.
#pragma once

#include <QString>
#include <QWidget>

class QTextBrowser;

namespace varnoke::shell {

class THelpWindow : public QWidget {
  Q_OBJECT

 public:
  explicit THelpWindow(QString file, QWidget* parent = nullptr);

  // Shows the topic of the help context number; 0 shows the contents, at
  // the top of the file.
  void ShowTopic(int context);

  // The anchor of a help context number.
  static QString Anchor(int context);

  QTextBrowser* Browser = nullptr;

 private:
  QString file_;
};

}  // namespace varnoke::shell
