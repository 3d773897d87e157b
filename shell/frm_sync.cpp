#include "shell/frm_sync.h"

#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QProgressBar>
#include <QResizeEvent>
#include <algorithm>
#include <string>

#include "platform/files/file_writing.h"
#include "platform/messages.h"
#include "shell/app_exception.h"
#include "shell/message_box.h"
#include "shell/window_scale.h"

namespace varnoke::shell {
namespace {

// The design's outer size counts the window manager's frame (a border of 4
// on each side and a title bar of 24), which Qt's window size does not.
constexpr int kFrameWidth = 8;
constexpr int kFrameHeight = 8 + 24;

int Unscaled(int pixels) {
  return static_cast<int>(pixels / ScreenScale() + 0.5);
}

}  // namespace

TfrmSync::TfrmSync(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("frmSync"));
  setWindowTitle(QStringLiteral("Synchronization Report"));
  setFont(LayoutFont(13));

  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("File1"));
  Cancel1 = file->addAction(QStringLiteral("&Cancel"));
  Cancel1->setObjectName(QStringLiteral("Cancel1"));
  connect(Cancel1, &QAction::triggered, this, Guarded([this] { Cancel1Click(); }));
  Exit1 = file->addAction(QStringLiteral("E&xit"));
  Exit1->setObjectName(QStringLiteral("Exit1"));
  connect(Exit1, &QAction::triggered, this, Guarded([this] { Exit1Click(); }));
  QMenu* debug = menuBar()->addMenu(QStringLiteral("&Debug"));
  debug->setObjectName(QStringLiteral("Debug1"));
  Savetodisk1 = debug->addAction(QStringLiteral("&Save to disk ..."));
  Savetodisk1->setObjectName(QStringLiteral("Savetodisk1"));
  connect(Savetodisk1, &QAction::triggered, this, Guarded([this] { Savetodisk1Click(); }));

  auto* client = new QWidget(this);
  setCentralWidget(client);
  Label1 = new QLabel(QStringLiteral("Report progress:"), client);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(Scaled(8, 8, 101, 16));
  ProgressBar1 = new QProgressBar(client);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setGeometry(Scaled(120, 8, 297, 17));
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  ListBox1 = new QListWidget(client);
  ListBox1->setObjectName(QStringLiteral("ListBox1"));
  ListBox1->setGeometry(Scaled(8, 40, 409, 225));
  ListBox1->setUniformItemSizes(true);

  resize(Scaled(434 - kFrameWidth), Scaled(319 - kFrameHeight));
}

void TfrmSync::AddLine(const QString& line) {
  auto* item = new QListWidgetItem(line, ListBox1);
  item->setSizeHint(QSize(0, Scaled(16)));
}

void TfrmSync::SetLine(int index, const QString& line) {
  if (QListWidgetItem* item = ListBox1->item(index)) item->setText(line);
}

int TfrmSync::LineCount() const {
  return ListBox1->count();
}

void TfrmSync::SetProgress(int position) {
  ProgressBar1->setValue(std::clamp(position, 0, 100));
}

void TfrmSync::FormResize(int outerWidth, int outerHeight) {
  // Left and top stay; at least a pixel, so a window made very small keeps
  // its controls.
  ListBox1->resize(std::max(Scaled(outerWidth - 26), 1), std::max(Scaled(outerHeight - 94), 1));
  ProgressBar1->resize(std::max(Scaled(outerWidth - 138), 1), ProgressBar1->height());
}

void TfrmSync::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  FormResize(Unscaled(event->size().width()) + kFrameWidth,
             Unscaled(event->size().height()) + kFrameHeight);
}

void TfrmSync::Cancel1Click() {
  if (OnCancelScan) OnCancelScan();
}

void TfrmSync::Exit1Click() {
  hide();
}

void TfrmSync::Savetodisk1Click() {
  std::string text;
  for (int i = 0; i < ListBox1->count(); ++i) {
    text += ListBox1->item(i)->text().toStdString();
    text += "\r\n";
  }
  platform::TFileReplacement log(kSyncLogName, 0644);
  if (log.Write(text) && log.Commit()) return;
  // Only the report is lost: the user is told, and the program runs on.
  const std::string message =
      platform::FormatMessage(platform::kMsgCannotCreateFile, {kSyncLogName});
  MessageBox(this, QString::fromStdString(message), QStringLiteral("Varnoke"), kMbIconError);
}

}  // namespace varnoke::shell
