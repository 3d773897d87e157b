// The rows of the result grid: a row count and nothing else. Every cell's
// text is read from the database's result list when the view asks for it,
// which it does only for the cells it paints.
#pragma once

#include <QAbstractTableModel>

namespace varnoke {
class TMemoryDB;
}

namespace varnoke::shell {

class TResultModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit TResultModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

  // The database whose result list the rows show; borrowed, may be null
  // (no rows can be read then). Resets the rows.
  void SetDatabase(const TMemoryDB* db);

  // The number of data rows; set only at creation and by a search.
  void SetRowCount(int rows);

  // The rows' texts were changed under the view (a change report): the
  // view repaints what it shows; the number of rows stays.
  void RowsChanged();

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  const TMemoryDB* db_ = nullptr;
  int rows_ = 1;
};

}  // namespace varnoke::shell
