// Keeps the file: URLs the program asks the desktop to open, instead of
// opening them.
#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <vector>

namespace varnoke::testing {

class TOpenedUrls : public QObject {
  Q_OBJECT

 public:
  TOpenedUrls();
  ~TOpenedUrls() override;

  std::vector<QString> Files;

 public slots:
  void Open(const QUrl& url);
};

}  // namespace varnoke::testing
