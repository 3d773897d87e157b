#include "shell/result_grid.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>

#include "shell/result_model.h"
#include "shell/window_scale.h"

namespace varnoke::shell {

TResultGrid::TResultGrid(QWidget* parent) : QTableView(parent), model_(new TResultModel(this)) {
  setModel(model_);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setShowGrid(false);
  setWordWrap(false);
  // Long paths lose their middle, so that both the drive or top folder
  // and the name stay in sight; the whole path is the cell's tool tip.
  setTextElideMode(Qt::ElideMiddle);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setTabKeyNavigation(false);
  setContextMenuPolicy(Qt::CustomContextMenu);

  QHeaderView* rows = verticalHeader();
  rows->hide();
  rows->setMinimumSectionSize(1);
  rows->setSectionResizeMode(QHeaderView::Fixed);
  FitRowHeight();

  QHeaderView* columns = horizontalHeader();
  columns->setSectionResizeMode(QHeaderView::Interactive);
  columns->setStretchLastSection(false);
  columns->setHighlightSections(false);
  columns->setSectionsClickable(false);
  columns->setSectionsMovable(false);
  columns->setMinimumSectionSize(0);
  columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  columns->setFixedHeight(Scaled(16) + 2);
  columns->viewport()->installEventFilter(this);
  fitting_ = true;
  setColumnWidth(0, Scaled(160));
  setColumnWidth(1, Scaled(311));
  fitting_ = false;
  connect(columns, &QHeaderView::sectionResized, this, [this](int column, int, int) {
    if (column == 0 && !fitting_) nameSizedByUser_ = true;
  });
}

void TResultGrid::FitRowHeight() {
  // The design's 16 pixels, or what the font needs: a line, and room above
  // it for the accents of capitals, which rise past the font's ascent (the
  // drive form is all capitals: ÄRZTE). Text is centred, so the room is
  // needed below as well.
  const QFontMetrics metrics = fontMetrics();
  const int rise = -metrics.boundingRect(QStringLiteral("ÄÅÉÖÜ")).top() - metrics.ascent();
  const int needed = metrics.height() + 2 * std::max(0, rise) + 1;
  verticalHeader()->setDefaultSectionSize(std::max(Scaled(16), needed));
}

void TResultGrid::changeEvent(QEvent* event) {
  QTableView::changeEvent(event);
  if (event->type() == QEvent::FontChange) FitRowHeight();
}

int TResultGrid::RowsOnView() const {
  const int height = std::max(1, verticalHeader()->defaultSectionSize());
  return viewport()->height() / height + 1;
}

void TResultGrid::FitNameColumn() {
  if (nameSizedByUser_) return;
  const QFontMetrics metrics(font());
  // The cell's text margins on both sides, and a little air.
  const int margins =
      2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) + Scaled(6);
  int widest =
      QFontMetrics(horizontalHeader()->font()).horizontalAdvance(QStringLiteral("Filename"));
  const int first = std::max(0, rowAt(0));
  int last = rowAt(viewport()->height() - 1);
  if (last < 0) last = model_->rowCount() - 1;
  for (int row = first; row <= last; ++row) {
    const QString name = model_->data(model_->index(row, 0), Qt::DisplayRole).toString();
    widest = std::max(widest, metrics.horizontalAdvance(name));
  }
  const int limit = viewport()->width() * 2 / 5;
  fitting_ = true;
  setColumnWidth(0, std::max(1, std::min(widest + margins, limit)));
  fitting_ = false;
}

int TResultGrid::SelectedRow() const {
  const QModelIndexList rows = selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.front().row() + 1;
}

void TResultGrid::SelectRow(int row) {
  if (row < 1 || row > model_->rowCount()) {
    selectionModel()->clearSelection();
    selectionModel()->setCurrentIndex({}, QItemSelectionModel::NoUpdate);
    return;
  }
  const QModelIndex first = model_->index(row - 1, 0);
  selectionModel()->setCurrentIndex(
      first, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

int TResultGrid::RowAt(const QPoint& position) const {
  const int row = rowAt(position.y());
  return row < 0 ? -1 : row + 1;
}

void TResultGrid::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  SelectRow(RowAt(event->position().toPoint()));
  event->accept();
}

void TResultGrid::mouseReleaseEvent(QMouseEvent* event) {
  const int row = RowAt(event->position().toPoint());
  if (row > 0) SelectRow(row);
  event->accept();
}

void TResultGrid::mouseDoubleClickEvent(QMouseEvent* event) {
  event->accept();
  emit rowDoubleClicked();
}

void TResultGrid::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_C && (event->modifiers() & Qt::ControlModifier)) {
    event->accept();
    emit copyPressed();
    return;
  }
  QTableView::keyPressEvent(event);
}

void TResultGrid::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  emit viewportResized();
}

bool TResultGrid::eventFilter(QObject* watched, QEvent* event) {
  if (watched == horizontalHeader()->viewport()) {
    if (event->type() == QEvent::MouseButtonPress) {
      // The header cell takes the selection: no data row stays selected.
      SelectRow(0);
    } else if (event->type() == QEvent::MouseButtonRelease) {
      // Also after dragging a column border: the header ends the drag when
      // the event reaches it, after this.
      const auto* mouse = static_cast<QMouseEvent*>(event);
      const int column = horizontalHeader()->logicalIndexAt(mouse->position().toPoint());
      if (column >= 0) emit headerReleased(column);
    }
  }
  return QTableView::eventFilter(watched, event);
}

}  // namespace varnoke::shell
