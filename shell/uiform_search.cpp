// TFormui: the search, as the user types and on Enter, the rows it shows,
// the status line, and the View menu's choices.
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>

#include "db/memory_db.h"
#include "platform/drives/host_pattern.h"
#include "platform/messages.h"
#include "settings/settings_store.h"
#include "shell/app_exception.h"
#include "shell/host_services.h"
#include "shell/program.h"
#include "shell/result_grid.h"
#include "shell/result_model.h"
#include "shell/uiform.h"

namespace varnoke::shell {
namespace {

// How long change reports gather before the rows on view are read again.
constexpr int kReportBurstMs = 50;
// How soon a row that could not be read while a search ran is tried again.
constexpr int kDeferredReadMs = 30;

}  // namespace

void TFormui::SetDatabase(TMemoryDB* db) {
  // The model lets go of the runner before the runner's thread is stopped.
  gridSearchResults->Model().SetSource(nullptr, nullptr, nullptr, nullptr);
  runner_.reset();
  shownOutcome_ = {};
  if (db == nullptr) return;
  const std::uint64_t serial = ++runnerSerial_;
  runner_ = std::make_unique<TSearchRunner>(*db, program_.Host.Drives, reportsApplied_,
                                            [this, serial](const TSearchOutcome& outcome) {
                                              QMetaObject::invokeMethod(
                                                  this,
                                                  [this, serial, outcome] {
                                                    if (serial == runnerSerial_)
                                                      SearchFinished(outcome);
                                                  },
                                                  Qt::QueuedConnection);
                                            });
  runner_->SetForm(pathForm_);
  runner_->SetRowsOnView(gridSearchResults->RowsOnView());
  gridSearchResults->Model().SetReadAhead(gridSearchResults->RowsOnView());
  gridSearchResults->Model().SetSource(db, runner_.get(), &program_.Host.Drives, &reportsApplied_);
}

void TFormui::CreateViewMenu() {
  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  view->setObjectName(QStringLiteral("View1"));
  LinuxPaths1 = AddCommand(view, QStringLiteral("&Linux Paths"), "LinuxPaths1", 0,
                           &TFormui::LinuxPaths1Click);
  DrivePaths1 = AddCommand(view, QStringLiteral("&Drive Paths"), "DrivePaths1", 0,
                           &TFormui::DrivePaths1Click);
  view->addSeparator()->setObjectName(QStringLiteral("N6"));
  SearchAsYouType1 = AddCommand(view, QStringLiteral("&Search as You Type"), "SearchAsYouType1", 0,
                                &TFormui::SearchAsYouType1Click);
  for (QAction* choice : {LinuxPaths1, DrivePaths1, SearchAsYouType1})
    choice->setCheckable(true);
  LinuxPaths1->setChecked(true);
  SearchAsYouType1->setChecked(true);
  view->installEventFilter(this);

  reportTimer_ = new QTimer(this);
  reportTimer_->setSingleShot(true);
  reportTimer_->setInterval(kReportBurstMs);
  connect(reportTimer_, &QTimer::timeout, this, Guarded([this] { RepaintAfterReports(); }));
  deferredTimer_ = new QTimer(this);
  deferredTimer_->setSingleShot(true);
  deferredTimer_->setInterval(kDeferredReadMs);
  connect(deferredTimer_, &QTimer::timeout, this,
          [this] { gridSearchResults->viewport()->update(); });
  connect(&gridSearchResults->Model(), &TResultModel::readDeferred, this, [this] {
    if (!deferredTimer_->isActive()) deferredTimer_->start();
  });
  connect(editSearchFilename, &QLineEdit::textChanged, this,
          Guarded([this] { SearchTextChanged(); }));
}

void TFormui::ReadViewSettings() {
  const settings::TSettingsStore& store = program_.Host.Settings;
  const auto read = [&](std::string_view name, std::uint32_t whenMissing) {
    return store.ValueExists(settings::SettingsKey, name)
               ? store.ReadDWORDSetting(settings::SettingsKey, name)
               : whenMissing;
  };
  SetPathForm(read("DrivePaths", 0) != 0 ? TPathForm::Drive : TPathForm::Linux);
  SetSearchAsYouType(read("SearchAsYouType", 1) != 0);
}

void TFormui::SetPathForm(TPathForm form) {
  pathForm_ = form;
  LinuxPaths1->setChecked(form == TPathForm::Linux);
  DrivePaths1->setChecked(form == TPathForm::Drive);
  if (runner_ != nullptr) runner_->SetForm(form);
  gridSearchResults->Model().SetForm(form);
  gridSearchResults->FitNameColumn();
  SetResultsGridWidths();
  ShowStatus();
}

void TFormui::SetSearchAsYouType(bool on) {
  searchAsYouType_ = on;
  SearchAsYouType1->setChecked(on);
}

void TFormui::LinuxPaths1Click() {
  SetPathForm(TPathForm::Linux);
  program_.Host.Settings.WriteDWORDSetting(settings::SettingsKey, "DrivePaths", 0);
}

void TFormui::DrivePaths1Click() {
  SetPathForm(TPathForm::Drive);
  program_.Host.Settings.WriteDWORDSetting(settings::SettingsKey, "DrivePaths", 1);
}

void TFormui::SearchAsYouType1Click() {
  SetSearchAsYouType(SearchAsYouType1->isChecked());
  program_.Host.Settings.WriteDWORDSetting(settings::SettingsKey, "SearchAsYouType",
                                           searchAsYouType_ ? 1 : 0);
}

void TFormui::SearchTextChanged() {
  if (!searchAsYouType_ || runner_ == nullptr) return;
  runner_->SetRowsOnView(gridSearchResults->RowsOnView());
  gridSearchResults->Model().SetReadAhead(gridSearchResults->RowsOnView());
  runner_->Request(editSearchFilename->text().toStdString());
}

void TFormui::RunSearch() {
  if (runner_ == nullptr) return;
  runner_->SetRowsOnView(gridSearchResults->RowsOnView());
  SearchFinished(runner_->SearchNow(editSearchFilename->text().toStdString()));
  gridSearchResults->setFocus(Qt::OtherFocusReason);
  gridSearchResults->SelectRow(1);
}

void TFormui::SearchBoxEnter() {
  if (runner_ == nullptr) return;
  const std::string text = editSearchFilename->text().toStdString();
  // The rows of the text as typed are on view, or on their way: no need
  // to search again. Waiting for them is safe unless this thread holds the
  // database's lock, as it does while a scan lets the window's events in.
  if (!searchAsYouType_ || program_.ScanRunning() || runner_->LatestText() != text) {
    RunSearch();
    return;
  }
  const std::uint64_t latest = runner_->Latest();
  if (gridSearchResults->Model().ShownRequest() != latest) {
    const std::optional<TSearchOutcome> outcome = runner_->WaitFor(latest);
    if (!outcome) {
      RunSearch();
      return;
    }
    SearchFinished(*outcome);
  }
  gridSearchResults->setFocus(Qt::OtherFocusReason);
  gridSearchResults->SelectRow(1);
}

void TFormui::SearchFinished(const TSearchOutcome& outcome) {
  TResultModel& model = gridSearchResults->Model();
  if (outcome.Request <= model.ShownRequest() && model.ShownRequest() != 0) return;
  model.Show(outcome);
  shownOutcome_ = outcome;
  shownOutcome_.First.clear();
  gridSearchResults->SelectRow(1);
  gridSearchResults->FitNameColumn();
  SetResultsGridWidths();
  ShowStatus();
}

void TFormui::ShowStatus() {
  const TSearchOutcome& shown = shownOutcome_;
  std::string text;
  switch (shown.Problem) {
    case TSearchProblem::None:
      text = platform::FormatMessage(platform::kMsgFilesFound, {shown.Rows});
      break;
    case TSearchProblem::NoDrive:
      text = platform::FormatMessage(platform::kMsgNoDriveHolds,
                                     {shown.Folder, program_.Host.Map.Folder()});
      break;
    case TSearchProblem::FolderNotIndexed: {
      // The folder as the chosen form names it.
      const std::string folder = pathForm_ == TPathForm::Drive && !shown.DriveFolder.empty()
                                     ? shown.DriveFolder.substr(0, shown.DriveFolder.size() - 1)
                                     : shown.Folder;
      text = platform::FormatMessage(platform::kMsgFolderNotIndexed, {folder});
      if (platform::NamesHiddenEntry(shown.Folder))
        text += ". " + std::string(platform::MessageText(platform::kMsgHiddenNotIndexed));
      break;
    }
  }
  StatusPanel0->setText(QString::fromStdString(text));
  StatusPanel0->setToolTip(shown.Problem == TSearchProblem::None ? QString()
                                                                 : StatusPanel0->text());
}

void TFormui::ReportApplied() {
  reportsApplied_.fetch_add(1, std::memory_order_relaxed);
  if (repaintPending_.exchange(true)) return;
  QMetaObject::invokeMethod(
      this, [this] { reportTimer_->start(); }, Qt::QueuedConnection);
}

void TFormui::RepaintAfterReports() {
  repaintPending_ = false;
  // Blanked and renamed rows show at the repaint; the number of rows
  // stays. What the disk changed may move host paths as well.
  gridSearchResults->Model().ForgetHostPaths();
  if (runner_ != nullptr) runner_->ForgetHostPaths();
  if (isVisible()) gridSearchResults->viewport()->update();
}

}  // namespace varnoke::shell
