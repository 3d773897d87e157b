// TFormui: the search, what the user can do with a result, and the menu's
// commands.
#include <QClipboard>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QUrl>

#include "db/memory_db.h"
#include "platform/messages.h"
#include "shell/about.h"
#include "shell/help_window.h"
#include "shell/message_box.h"
#include "shell/program.h"
#include "shell/result_grid.h"
#include "shell/result_model.h"
#include "shell/uiform.h"

namespace varnoke::shell {
namespace {

QString HostText(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

// Shows the file selected in the desktop's file manager; when none answers,
// opens its folder instead.
void ShowInFileManager(const QString& file) {
  const QString folder = QFileInfo(file).path();
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    return;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.FileManager1"),
      QStringLiteral("/org/freedesktop/FileManager1"),
      QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
  call << QStringList{QUrl::fromLocalFile(file).toString()} << QString();
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000));
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                   [folder](QDBusPendingCallWatcher* done) {
                     if (done->isError()) QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
                     done->deleteLater();
                   });
}

}  // namespace

std::string TFormui::RowHostPath(int index) {
  return gridSearchResults->Model().HostPath(index);
}

void TFormui::gridSearchResultsDblClick() {
  const int index = SelectedDataIndex();
  if (index < 0 || program_.MemoryDB == nullptr) return;
  // Empty when there are no results.
  const std::string host = RowHostPath(index);
  if (host.empty()) return;
  if (TargetEditControl != 0) {
    DeliverPath(host);
    return;
  }
  OpenFile(host);
  HideSearchWindow();
}

void TFormui::OpenFile(const std::string& hostPath) {
  QDesktopServices::openUrl(QUrl::fromLocalFile(HostText(hostPath)));
}

void TFormui::OpenClick() {
  const int index = SelectedDataIndex();
  if (index < 0 || program_.MemoryDB == nullptr) return;
  OpenFile(RowHostPath(index));
  HideSearchWindow();
}

void TFormui::ExploreClick() {
  const int index = SelectedDataIndex();
  if (index < 0 || program_.MemoryDB == nullptr) return;
  ShowInFileManager(HostText(RowHostPath(index)));
  HideSearchWindow();
}

void TFormui::PutOnClipboard(const std::string& text) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  const QString value = HostText(text);
  clipboard->setText(value, QClipboard::Clipboard);
  if (clipboard->supportsSelection()) clipboard->setText(value, QClipboard::Selection);
}

void TFormui::Copy1Click() {
  const int index = SelectedDataIndex();
  if (index < 0 || program_.MemoryDB == nullptr) return;
  // The path in the form the window shows.
  PutOnClipboard(gridSearchResults->Model().CopyText(index));
}

void TFormui::ScanDrives1Click() {
  if (program_.ScanRunning() || program_.MemoryDB == nullptr) return;
  HideSearchWindow();
  ScanDrives1->setEnabled(false);
  struct TEnableAgain {
    QAction* action;
    ~TEnableAgain() { action->setEnabled(true); }
  } enableAgain{ScanDrives1};
  // An abandoned scan raises ETerminate, which ends the program.
  program_.ScanWithProgress();
  show();
  raise();
  activateWindow();
  // The scan emptied the result list: the same text is searched again.
  RunSearch();
}

void TFormui::SetHotKey1Click() {
  program_.OpenHotKeyDialog();
}

void TFormui::SetStartupOptions1Click() {
  program_.OpenStartupOptionsDialog();
}

void TFormui::SynchronizationReport1Click() {
  program_.ShowSyncReport();
}

void TFormui::Exit1Click() {
  const QString text = QString::fromStdString(
      platform::FormatMessage(platform::kMsgTerminateNow, {"Varnoke", "Varnoke", "Varnoke"}));
  if (MessageBox(nullptr, text, QStringLiteral("Varnoke"), kMbYesNo | kMbIconWarning) == kIdYes)
    program_.ExitConfirmed();
}

void TFormui::Contents1Click() {
  ShowHelp(0);
}

void TFormui::ShowHelp(int context) {
  program_.Help().ShowTopic(context);
}

void TFormui::About1Click() {
  program_.About().SetSplashMode(TSplashMode::About);
}

}  // namespace varnoke::shell
