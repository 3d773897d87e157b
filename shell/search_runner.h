// The searches of the search box, run on a thread of their own so that
// typing never waits for one.
//
// Requests are coalesced: a request that has not started when a newer one
// comes is dropped. A search that has started runs to its end and replaces
// the database's result list, as TMemoryDB::Search does, under the
// database's lock; in the same hold it notes which request the list now
// holds (ListRequest), so that a reader can tell the rows it shows from
// those of a newer search. The outcome carries the first rows' texts, read
// in that hold, so that the window can show them at once even while the
// next search holds the lock.
//
// The thread never waits for the window: every wait goes the other way.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "shell/row_texts.h"

namespace varnoke {
class TMemoryDB;
}

namespace varnoke::platform {
class TLinuxDrives;
}

namespace varnoke::shell {

// Why a search found nothing, when the user should hear of it.
enum class TSearchProblem {
  None,
  NoDrive,           // a Linux path whose folder no drive holds
  FolderNotIndexed,  // a Linux path whose folder the tree does not have
};

struct TSearchOutcome {
  std::uint64_t Request = 0;  // the request's number; later requests have larger ones
  std::string Text;           // the search box's text, as typed
  int Rows = 0;
  TSearchProblem Problem = TSearchProblem::None;
  std::string Folder;       // a Linux path's folder, as typed
  std::string DriveFolder;  // the same in drive form ("C:\ETC\X\"), when it has one
  // The texts of the first rows, in Form, as the search left them, and the
  // count of change reports applied when they were read.
  TPathForm Form = TPathForm::Linux;
  std::vector<TRowTexts> First;
  std::uint64_t Reports = 0;
};

class TSearchRunner {
 public:
  // Runs on the runner's thread with each finished search's outcome.
  using TDone = std::function<void(const TSearchOutcome&)>;

  // db, drives and reportsApplied (the count of change reports applied to
  // db) are borrowed and must outlive the runner. Starts the thread.
  TSearchRunner(TMemoryDB& db, const platform::TLinuxDrives& drives,
                const std::atomic<std::uint64_t>& reportsApplied, TDone done);
  // Waits for a running search to end, then for the thread.
  ~TSearchRunner();
  TSearchRunner(const TSearchRunner&) = delete;
  TSearchRunner& operator=(const TSearchRunner&) = delete;

  // Asks for a search of text on the runner's thread; returns the
  // request's number at once.
  std::uint64_t Request(std::string text);
  // Searches for text on the calling thread, dropping every request made
  // before that has not started. Waits while a started search holds the
  // lock; the caller may hold the lock itself.
  TSearchOutcome SearchNow(std::string text);
  // Waits until request is done or dropped: its outcome, or nothing when
  // it was dropped. The caller must not hold the database's lock.
  std::optional<TSearchOutcome> WaitFor(std::uint64_t request);

  // The newest request and its text.
  std::uint64_t Latest() const;
  std::string LatestText() const;
  // The request whose rows the result list holds (0: none of the runner's).
  // Caller holds the database's lock.
  std::uint64_t ListRequest() const noexcept { return listRequest_; }

  // What the outcomes' first rows are read for: the form and how many rows
  // the grid shows at once. From any thread.
  void SetForm(TPathForm form) noexcept { form_ = form; }
  void SetRowsOnView(int rows) noexcept { rowsOnView_ = rows; }
  // The disk changed: host paths resolved before may be wrong now.
  void ForgetHostPaths() noexcept { forgetHostPaths_ = true; }

 private:
  struct TRequestEntry {
    std::uint64_t Number = 0;
    std::string Text;
  };
  void Run();
  // The search of one request; nothing when a newer request had come by
  // the time it could start.
  std::optional<TSearchOutcome> Perform(const TRequestEntry& request,
                                        platform::THostPathCache& hostPaths);
  void Finished(std::uint64_t request, const std::optional<TSearchOutcome>& outcome);

  TMemoryDB& db_;
  const platform::TLinuxDrives& drives_;
  const std::atomic<std::uint64_t>& reportsApplied_;
  const TDone done_;
  std::atomic<TPathForm> form_{TPathForm::Linux};
  std::atomic<int> rowsOnView_{40};
  std::atomic<bool> forgetHostPaths_{false};
  std::uint64_t listRequest_ = 0;  // Guarded by the database's lock.

  mutable std::mutex mutex_;
  std::condition_variable wake_;               // a request came, or the runner stops
  std::condition_variable finished_;           // a request was done or dropped
  std::uint64_t latest_ = 0;                   // Guarded by mutex_.
  std::string latestText_;                     // Guarded by mutex_.
  std::optional<TRequestEntry> pending_;       // Guarded by mutex_.
  std::uint64_t doneUpTo_ = 0;                 // every request up to it is done; guarded by mutex_
  std::optional<TSearchOutcome> lastOutcome_;  // Guarded by mutex_.
  bool stop_ = false;                          // Guarded by mutex_.
  std::thread thread_;
};

}  // namespace varnoke::shell
