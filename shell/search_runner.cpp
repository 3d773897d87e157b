#include "shell/search_runner.h"

#include <algorithm>

#include "db/memory_db.h"
#include "db/pattern_folder.h"
#include "platform/drives/host_pattern.h"
#include "platform/drives/linux_drives.h"
#include "platform/files/host_path_cache.h"

namespace varnoke::shell {
namespace {

// What a request searches for: its text, or a Linux path's mapping to the
// drive form.
struct TPrepared {
  std::string Pattern;
  bool FolderMustExist = false;
  TSearchProblem Problem = TSearchProblem::None;
  std::string Folder;
  std::string DriveFolder;
};

TPrepared Prepare(const std::string& text, const platform::TLinuxDrives& drives) {
  TPrepared prepared;
  prepared.Pattern = text;
  if (!platform::IsHostPathPattern(text)) return prepared;
  // "~" is the home folder of the moment.
  const platform::THostPattern mapped =
      platform::MapHostPattern(drives, text, platform::HomeFolder());
  prepared.Folder = mapped.Directory;
  switch (mapped.Kind) {
    case platform::THostPattern::TKind::Mapped:
      prepared.Pattern = mapped.DrivePattern;
      prepared.FolderMustExist = true;
      prepared.DriveFolder = mapped.DrivePattern.substr(0, mapped.DrivePattern.rfind('\\') + 1);
      break;
    case platform::THostPattern::TKind::NoDrive:
      prepared.Pattern.clear();
      prepared.Problem = TSearchProblem::NoDrive;
      break;
    case platform::THostPattern::TKind::Unindexable:
      prepared.Pattern.clear();
      prepared.Problem = TSearchProblem::FolderNotIndexed;
      break;
  }
  return prepared;
}

}  // namespace

TSearchRunner::TSearchRunner(TMemoryDB& db, const platform::TLinuxDrives& drives,
                             const std::atomic<std::uint64_t>& reportsApplied, TDone done)
    : db_(db), drives_(drives), reportsApplied_(reportsApplied), done_(std::move(done)) {
  thread_ = std::thread([this] { Run(); });
}

TSearchRunner::~TSearchRunner() {
  {
    std::lock_guard guard(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

std::uint64_t TSearchRunner::Request(std::string text) {
  std::uint64_t number = 0;
  {
    std::lock_guard guard(mutex_);
    number = ++latest_;
    latestText_ = text;
    // A request that has not started is replaced: only the newest waits.
    if (pending_) doneUpTo_ = std::max(doneUpTo_, pending_->Number);
    pending_ = TRequestEntry{number, std::move(text)};
  }
  wake_.notify_one();
  finished_.notify_all();
  return number;
}

TSearchOutcome TSearchRunner::SearchNow(std::string text) {
  TRequestEntry request;
  {
    std::lock_guard guard(mutex_);
    request.Number = ++latest_;
    request.Text = text;
    latestText_ = std::move(text);
    if (pending_) doneUpTo_ = std::max(doneUpTo_, pending_->Number);
    pending_.reset();
  }
  finished_.notify_all();
  platform::THostPathCache hostPaths(drives_);
  // Nothing newer can come while this thread is busy here, so the search
  // always runs.
  std::optional<TSearchOutcome> outcome = Perform(request, hostPaths);
  Finished(request.Number, outcome);
  return outcome ? std::move(*outcome) : TSearchOutcome{};
}

std::optional<TSearchOutcome> TSearchRunner::WaitFor(std::uint64_t request) {
  std::unique_lock guard(mutex_);
  finished_.wait(guard, [&] { return doneUpTo_ >= request || stop_; });
  if (lastOutcome_ && lastOutcome_->Request == request) return lastOutcome_;
  return std::nullopt;
}

std::uint64_t TSearchRunner::Latest() const {
  std::lock_guard guard(mutex_);
  return latest_;
}

std::string TSearchRunner::LatestText() const {
  std::lock_guard guard(mutex_);
  return latestText_;
}

void TSearchRunner::Run() {
  std::optional<platform::THostPathCache> hostPaths;
  for (;;) {
    TRequestEntry request;
    {
      std::unique_lock guard(mutex_);
      wake_.wait(guard, [&] { return stop_ || pending_.has_value(); });
      if (stop_) return;
      request = std::move(*pending_);
      pending_.reset();
    }
    if (!hostPaths || forgetHostPaths_.exchange(false)) hostPaths.emplace(drives_);
    const std::optional<TSearchOutcome> outcome = Perform(request, *hostPaths);
    Finished(request.Number, outcome);
    if (outcome) done_(*outcome);
  }
}

std::optional<TSearchOutcome> TSearchRunner::Perform(const TRequestEntry& request,
                                                     platform::THostPathCache& hostPaths) {
  const TPrepared prepared = Prepare(request.Text, drives_);
  TSearchOutcome outcome;
  outcome.Request = request.Number;
  outcome.Text = request.Text;
  outcome.Problem = prepared.Problem;
  outcome.Folder = prepared.Folder;
  outcome.DriveFolder = prepared.DriveFolder;
  outcome.Form = form_;
  std::vector<TRowSnapshot> first;
  {
    std::lock_guard guard(db_.Lock);
    {
      std::lock_guard requests(mutex_);
      if (request.Number < latest_) return std::nullopt;
    }
    // Read before the rows: a report counted later was applied later.
    outcome.Reports = reportsApplied_.load();
    db_.Search(prepared.Pattern);
    listRequest_ = request.Number;
    outcome.Rows = db_.ResultCount();
    if (outcome.Rows == 0 && prepared.FolderMustExist && !HoldsPatternFolder(db_, prepared.Pattern))
      outcome.Problem = TSearchProblem::FolderNotIndexed;
    // The rows point into the tree: what the first ones show is taken now,
    // their host paths looked up on the disk once the lock is released.
    const int count = std::min(outcome.Rows, std::max(1, rowsOnView_.load()));
    std::optional<TRowLocator> locator;
    if (outcome.Form == TPathForm::Linux) locator.emplace(db_);
    first.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
      first.push_back(SnapshotRow(db_, locator ? &*locator : nullptr, i));
  }
  outcome.First.reserve(first.size());
  for (const TRowSnapshot& row : first)
    outcome.First.push_back(TextsOf(row, outcome.Form, hostPaths));
  return outcome;
}

void TSearchRunner::Finished(std::uint64_t request, const std::optional<TSearchOutcome>& outcome) {
  {
    std::lock_guard guard(mutex_);
    doneUpTo_ = std::max(doneUpTo_, request);
    if (outcome) lastOutcome_ = outcome;
  }
  finished_.notify_all();
}

}  // namespace varnoke::shell
