#include "shell/result_model.h"

#include <mutex>

#include "db/memory_db.h"
#include "platform/files/host_path_cache.h"
#include "shell/search_runner.h"

namespace varnoke::shell {

TResultModel::TResultModel(QObject* parent) : QAbstractTableModel(parent) {}

TResultModel::~TResultModel() = default;

void TResultModel::SetSource(TMemoryDB* db, const TSearchRunner* runner,
                             const platform::TLinuxDrives* drives,
                             const std::atomic<std::uint64_t>* reportsApplied) {
  beginResetModel();
  db_ = db;
  runner_ = runner;
  drives_ = drives;
  reports_ = reportsApplied;
  hostPaths_ = drives != nullptr ? std::make_unique<platform::THostPathCache>(*drives) : nullptr;
  shownRequest_ = 0;
  texts_.clear();
  endResetModel();
}

void TResultModel::SetForm(TPathForm form) {
  if (form == form_) return;
  form_ = form;
  ClearTexts();
  RowsChanged();
}

void TResultModel::Show(const TSearchOutcome& outcome) {
  if (outcome.Request < shownRequest_) return;
  beginResetModel();
  rows_ = std::max(outcome.Rows, 1);
  shownRequest_ = outcome.Request;
  texts_.clear();
  if (outcome.Form == form_) {
    for (std::size_t i = 0; i < outcome.First.size(); ++i)
      texts_[static_cast<int>(i)] = TCached{outcome.First[i], outcome.Reports};
  }
  endResetModel();
}

void TResultModel::SetRowCount(int rows) {
  beginResetModel();
  rows_ = rows;
  texts_.clear();
  endResetModel();
}

void TResultModel::RowsChanged() {
  texts_.clear();
  if (rows_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, 1));
}

void TResultModel::ForgetHostPaths() {
  if (drives_ != nullptr) hostPaths_ = std::make_unique<platform::THostPathCache>(*drives_);
}

void TResultModel::ClearTexts() {
  texts_.clear();
}

bool TResultModel::Snapshots(int first, int count, bool located, TWait wait,
                             std::vector<TRowSnapshot>& rows) const {
  rows.clear();
  if (db_ == nullptr) {
    rows.resize(static_cast<std::size_t>(std::max(count, 0)));
    return true;
  }
  std::unique_lock lock(db_->Lock, std::defer_lock);
  if (wait == TWait::Try) {
    if (!lock.try_lock()) return false;
  } else {
    lock.lock();
  }
  // Rows of a newer search than the one shown are not read: they would be
  // mixed with those on view until the grid shows the newer one.
  if (runner_ != nullptr && runner_->ListRequest() != shownRequest_) return false;
  // One locator for all: rows in one folder share its ancestors' twins.
  std::optional<TRowLocator> locator;
  if (located) locator.emplace(*db_);
  for (int index = first; index < first + count; ++index)
    rows.push_back(SnapshotRow(*db_, locator ? &*locator : nullptr, index));
  return true;
}

std::optional<TRowSnapshot> TResultModel::Snapshot(int index, bool located, TWait wait) const {
  std::vector<TRowSnapshot> rows;
  if (!Snapshots(index, 1, located, wait, rows)) return std::nullopt;
  return std::move(rows.front());
}

bool TResultModel::Texts(int index, TRowTexts& texts) const {
  const std::uint64_t reports = reports_ != nullptr ? reports_->load() : 0;
  const auto fresh = [&](int row) {
    const auto it = texts_.find(row);
    return it != texts_.end() && it->second.Reports == reports;
  };
  if (fresh(index)) {
    texts = texts_[index].Texts;
    return true;
  }
  // The rows after this one are painted next: they are read with it, up to
  // the first that is read already.
  int count = 1;
  while (count < readAhead_ && index + count < rows_ && !fresh(index + count))
    ++count;
  std::vector<TRowSnapshot> rows;
  if (hostPaths_ == nullptr ||
      !Snapshots(index, count, form_ == TPathForm::Linux, TWait::Try, rows)) {
    // What was read before stands until the row can be read again.
    emit const_cast<TResultModel*>(this)->readDeferred();
    const auto cached = texts_.find(index);
    if (cached != texts_.end()) texts = cached->second.Texts;
    return false;
  }
  if (texts_.size() + rows.size() > kMaxCached) texts_.clear();
  for (std::size_t i = 0; i < rows.size(); ++i)
    texts_[index + static_cast<int>(i)] = TCached{TextsOf(rows[i], form_, *hostPaths_), reports};
  texts = texts_[index].Texts;
  return true;
}

std::string TResultModel::HostPath(int index) {
  const std::optional<TRowSnapshot> row = Snapshot(index, true, TWait::Block);
  if (!row || hostPaths_ == nullptr) return {};
  return HostPathOfRow(*row, *hostPaths_);
}

std::string TResultModel::CopyText(int index) {
  if (form_ == TPathForm::Linux) return HostPath(index);
  const std::optional<TRowSnapshot> row = Snapshot(index, false, TWait::Block);
  if (!row || row->Kind == TRowSnapshot::TKind::None) return {};
  if (row->Kind == TRowSnapshot::TKind::Blanked) return std::string(kFileDeleted);
  return row->Location.DrivePath;
}

int TResultModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int TResultModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 2;
}

QVariant TResultModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::TextAlignmentRole) return int(Qt::AlignLeft | Qt::AlignVCenter);
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  TRowTexts texts;
  Texts(index.row(), texts);
  if (role == Qt::ToolTipRole) {
    if (texts.Path.empty()) return {};
    return QString::fromStdString(texts.Path);
  }
  if (index.column() == 0) return QString::fromStdString(texts.Name);
  return QString::fromStdString(" " + texts.Path);
}

QVariant TResultModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return {};
  if (role == Qt::TextAlignmentRole) return int(Qt::AlignLeft | Qt::AlignVCenter);
  if (role != Qt::DisplayRole) return {};
  return section == 0 ? QStringLiteral("Filename") : QStringLiteral(" Path");
}

Qt::ItemFlags TResultModel::flags(const QModelIndex& index) const {
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

}  // namespace varnoke::shell
