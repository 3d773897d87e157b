// gridSearchResults: the two-column result grid (Filename, Path) over the
// result model, with the program's own selection rules: a press selects the
// row under the pointer (none below the last row), a press on the header
// selects no row, and a release over the header sorts by that column.
#pragma once

#include <QTableView>

namespace varnoke::shell {

class TResultModel;

class TResultGrid : public QTableView {
  Q_OBJECT

 public:
  explicit TResultGrid(QWidget* parent = nullptr);

  TResultModel& Model() noexcept { return *model_; }

  // The selected row as the grid numbers rows: 0 is the header, data rows
  // start at 1; -1 when no row is selected.
  int SelectedRow() const;
  // Selects data row (1 or more) across both columns; anything else
  // selects no row.
  void SelectRow(int row);

 signals:
  void headerReleased(int column);     // a mouse button went up over the header
  void rowDoubleClicked();             // gridSearchResultsDblClick
  void copyPressed();                  // Ctrl+C, with any other modifiers
  void viewportResized();              // the client area changed size

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  int RowAt(const QPoint& position) const;

  TResultModel* model_;
};

}  // namespace varnoke::shell
