#include "shell/result_model.h"

#include "db/memory_db.h"

namespace varnoke::shell {

void TResultModel::SetDatabase(const TMemoryDB* db) {
  beginResetModel();
  db_ = db;
  endResetModel();
}

void TResultModel::SetRowCount(int rows) {
  beginResetModel();
  rows_ = rows;
  endResetModel();
}

void TResultModel::RowsChanged() {
  if (rows_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, 1), {Qt::DisplayRole});
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
  if (role != Qt::DisplayRole || db_ == nullptr) return {};
  if (index.column() == 0) return QString::fromStdString(db_->ResultName(index.row()));
  return QString::fromStdString(" " + db_->ResultFullPath(index.row()));
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
