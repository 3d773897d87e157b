#include "shell/catch_up_report.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/drives/linux_drives.h"
#include "platform/messages.h"
#include "shell/frm_sync.h"
#include "shell/tray_icon.h"

namespace varnoke::shell {
namespace {

constexpr std::string_view kProgramName = "Varnoke";

}  // namespace

TCatchUpReport::TCatchUpReport(TfrmSync& window, const platform::TLinuxDrives& drives,
                               std::size_t folders)
    : window_(window), drives_(drives), folders_(std::max<std::size_t>(folders, 1)) {}

QString TCatchUpReport::NoticeText() {
  return QString::fromStdString(platform::FormatMessage(platform::kMsgCatchingUp, {kProgramName}));
}

QString TCatchUpReport::LineOf(const TTreeChange& change) const {
  // The host form: the drive's root, then the path as the listing spelt it
  // (a name gone from the disk as the tree held it).
  std::string path = change.Path;
  const std::string root = path.size() >= 3 ? drives_.HostRoot(path[0]) : std::string();
  if (!root.empty()) {
    std::string rest = path.substr(3);
    std::replace(rest.begin(), rest.end(), '\\', '/');
    path = root + (root.back() == '/' || rest.empty() ? "" : "/") + rest;
  }
  const int id = change.Added ? platform::kMsgCatchUpAdded : platform::kMsgCatchUpRemoved;
  return QString::fromStdString(platform::FormatMessage(id, {path}));
}

void TCatchUpReport::SetTray(TTrayIcon* tray) {
  tray_ = tray;
  if (tray_ != nullptr && running_) tray_->SetToolTip(NoticeText());
}

void TCatchUpReport::Changed() {
  if (updatePending_.exchange(true)) return;
  QMetaObject::invokeMethod(
      this,
      [this] {
        updatePending_ = false;
        Update();
      },
      Qt::QueuedConnection);
}

void TCatchUpReport::Update() {
  if (catchUp_ == nullptr) return;
  for (const TTreeChange& change : catchUp_->TakeChanges()) {
    window_.AddLine(LineOf(change));
    ++shown_;
  }
  // Read after the changes taken, so that it counts them all.
  const TCatchUpStatus status = catchUp_->Status();
  if (shown_ == TCatchUp::kChangesKept && status.Changes > shown_) {
    const QString rest = QString::fromStdString(platform::FormatMessage(
        platform::kMsgCatchUpMore, {static_cast<std::int64_t>(status.Changes - shown_)}));
    if (restLine_ < 0) {
      restLine_ = window_.LineCount();
      window_.AddLine(rest);
    } else {
      window_.SetLine(restLine_, rest);
    }
  }
  if (status.Running) {
    // The walk's length is known only at its end: the loaded tree's
    // directories stand for it until then.
    window_.SetProgress(
        static_cast<int>(std::min<std::uint64_t>(99, status.Folders * 100 / folders_)));
    if (!running_) {
      running_ = true;
      if (tray_ != nullptr) tray_->SetToolTip(NoticeText());
    }
    if (!noticed_ && tray_ != nullptr && tray_->Added()) {
      noticed_ = true;
      tray_->ShowMessage(NoticeText());
    }
  } else if ((status.Ended || status.CalledOff) && !ended_) {
    Ended(status);
  }
}

void TCatchUpReport::Ended(const TCatchUpStatus& status) {
  ended_ = true;
  running_ = false;
  if (tray_ != nullptr)
    tray_->SetToolTip(QString::fromUtf8(kProgramName.data(), kProgramName.size()));
  const auto changes = static_cast<std::int64_t>(status.Changes);
  std::string text;
  if (status.CalledOff) {
    text = platform::FormatMessage(platform::kMsgCatchUpCalledOff, {kProgramName, changes});
  } else {
    window_.SetProgress(100);
    text =
        platform::FormatMessage(platform::kMsgCatchUpEnded,
                                {kProgramName, changes, static_cast<std::int64_t>(status.Folders)});
  }
  std::fprintf(stderr, "varnoke: %s\n", text.c_str());
}

}  // namespace varnoke::shell
