// The rows of the result grid. Every cell's text comes from the database's
// result list, read for the rows the view paints and kept for as long as
// nothing changed under them, so that a repaint while a search holds the
// database's lock shows the rows on view instead of waiting for it.
//
// The rows shown are always those of one search: the model shows the
// request the runner last finished for it, and reads the list only while
// the list holds that request's rows.
#pragma once

#include <QAbstractTableModel>
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "shell/row_texts.h"

namespace varnoke {
class TMemoryDB;
}

namespace varnoke::platform {
class THostPathCache;
class TLinuxDrives;
}  // namespace varnoke::platform

namespace varnoke::shell {

class TSearchRunner;
struct TSearchOutcome;

class TResultModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit TResultModel(QObject* parent = nullptr);
  ~TResultModel() override;

  // The database whose result list the rows show and the runner whose
  // searches fill it, both borrowed, both may be null (no rows can be read
  // then); drives resolve host paths. Resets the rows.
  // reportsApplied counts the change reports applied to the database; it
  // is borrowed and must outlive the model.
  void SetSource(TMemoryDB* db, const TSearchRunner* runner, const platform::TLinuxDrives* drives,
                 const std::atomic<std::uint64_t>* reportsApplied);

  // The form the texts are shown in.
  TPathForm Form() const noexcept { return form_; }
  void SetForm(TPathForm form);

  // The rows of a finished search, with the texts it read of its first
  // rows; at least one row, so that the header never stands alone. An
  // outcome older than the rows shown is ignored.
  void Show(const TSearchOutcome& outcome);
  // The request whose rows are shown.
  std::uint64_t ShownRequest() const noexcept { return shownRequest_; }

  // The number of data rows, for a list filled otherwise (at creation).
  void SetRowCount(int rows);
  // The rows were reordered under the view (a sort): the view repaints.
  void RowsChanged();
  // Forgets where host paths lie on the disk (after change reports). Texts
  // read before a change report are read again when next painted.
  void ForgetHostPaths();

  // For an action on row index: its path as other programs open it, and
  // the text Copy puts on the clipboard (in the chosen form). Waits for
  // the lock; empty when the list holds another search's rows by now.
  std::string HostPath(int index);
  std::string CopyText(int index);

  // The texts of a row as painted; tells whether they are up to date.
  bool Texts(int index, TRowTexts& texts) const;
  // How many rows a read takes at once from the one asked for: those the
  // view is about to paint after it share their folders' lookups.
  void SetReadAhead(int rows) noexcept { readAhead_ = std::max(1, rows); }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 signals:
  // A row could not be read because the database's lock was taken: the
  // view should ask again soon.
  void readDeferred() const;

 private:
  struct TCached {
    TRowTexts Texts;
    std::uint64_t Reports = 0;  // the reports applied when they were read
  };
  enum class TWait { Try, Block };
  // The snapshots of rows first to first + count - 1 (no more than there
  // are), located for host paths when located is set; false when the lock
  // could not be had (Try) or the list holds another search's rows.
  bool Snapshots(int first, int count, bool located, TWait wait,
                 std::vector<TRowSnapshot>& rows) const;
  std::optional<TRowSnapshot> Snapshot(int index, bool located, TWait wait) const;
  void ClearTexts();

  TMemoryDB* db_ = nullptr;
  const TSearchRunner* runner_ = nullptr;
  const platform::TLinuxDrives* drives_ = nullptr;
  std::unique_ptr<platform::THostPathCache> hostPaths_;
  TPathForm form_ = TPathForm::Linux;
  int rows_ = 1;
  int readAhead_ = 32;
  std::uint64_t shownRequest_ = 0;
  const std::atomic<std::uint64_t>* reports_ = nullptr;
  // The texts of the rows read so far, by row; dropped whole when the rows
  // change, and when they grow past kMaxCached.
  static constexpr std::size_t kMaxCached = 4096;
  mutable std::unordered_map<int, TCached> texts_;
};

}  // namespace varnoke::shell
