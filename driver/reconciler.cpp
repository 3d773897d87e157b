#include "driver/reconciler.h"

#include <algorithm>
#include <set>

#include "platform/device_abi.h"

namespace varnoke::driver {
namespace {

// A round lists directories until it has made this many reports, or this
// many directories: the reports wait in memory until the program has
// handled them.
constexpr std::uint64_t kRoundReports = 50000;
constexpr std::size_t kRoundDirectories = 4096;

}  // namespace

TDirectoryModel::TRelease TReconciler::Releaser(std::string keep) {
  return [this, keep = std::move(keep)](const std::string& identity) {
    if (identity != keep) identifier_.Release(identity);
  };
}

void TReconciler::PlaceTrees(const std::vector<std::string>& roots) {
  std::vector<std::string> pending(roots.rbegin(), roots.rend());
  while (!pending.empty()) {
    const std::string label = std::move(pending.back());
    pending.pop_back();
    platform::TUniqueFd fd = files_.OpenDirectory(label);
    if (!fd.Valid()) continue;
    Identify(label, fd.Get());
    if (!files_.ListOpenDirectory(fd.Get(), listing_)) continue;
    const std::size_t first = pending.size();
    for (std::size_t i = 0; i < listing_.Size(); ++i) {
      const std::string_view name = listing_.Name(i);
      if ((listing_.At(i).Attributes & platform::kFileAttributeDirectory) && IsRecordedName(name)) {
        pending.push_back(label + std::string(name) + "\\");
      }
    }
    // Depth first, in listing order: the open chain of the file system
    // then serves each level once.
    std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(first), pending.end());
  }
}

bool TReconciler::Observe(const std::string& parent, const std::string& identity,
                          std::string_view name) {
  // Waiting to be listed, the directory's files may not be in the tree
  // yet (it was moved in) or any more (a listing's test went wrong).
  const bool pending = model_.IsMarked(parent);
  if (phase_ != TPhase::Settling && phase_ != TPhase::Closing) return pending;
  const bool listed = !identity.empty() && windowIdentities_.count(identity) != 0;
  if (listed || windowDirectories_.count(parent) != 0) Spoil(parent);
  std::string path = parent + std::string(name);
  if (windowPaths_.count(path) != 0) {
    path.push_back('\\');
    for (const std::string& target : targets_) {
      if (IsAtOrBelow(target, path)) Spoil(target);
    }
  }
  return listed || pending;
}

void TReconciler::Spoil(const std::string& label) {
  if (!spoiled_.insert(label).second) return;
  // Listed again in a later round; the mark moves with the label should
  // the event that spoiled the round be a rename.
  if (model_.Knows(label)) model_.Mark(label);
}

void TReconciler::OnDrained() {
  if (phase_ == TPhase::Idle) StartRound();
}

void TReconciler::OnWake() {
  CheckHandled();
}

void TReconciler::OnOverflow() {
  phase_ = TPhase::Idle;
  targets_.clear();
  windowDirectories_.clear();
  windowPaths_.clear();
  spoiled_.clear();
  windowIdentities_.clear();
  retry_.clear();
  model_.MarkAll();
}

void TReconciler::StartRound() {
  if (model_.MarkedCount() == 0) return;
  const std::optional<std::uint64_t> mark = marks_.Emit();
  if (!mark) {
    // Nothing to place listings in the stream by: they go as they are.
    RunListings();
    EndRound();
    return;
  }
  openingMark_ = *mark;
  phase_ = TPhase::Opening;
}

void TReconciler::OnMark(std::uint64_t number) {
  if (phase_ == TPhase::Opening && number == openingMark_) {
    RunListings();
    phase_ = TPhase::Settling;
    lastReport_ = sink_.ReportCount();
    CheckHandled();
  } else if (phase_ == TPhase::Closing && number == closingMark_) {
    EndRound();
  }
}

void TReconciler::CheckHandled() {
  if (phase_ != TPhase::Settling || !sink_.HandledUpTo(lastReport_)) return;
  const std::optional<std::uint64_t> mark = marks_.Emit();
  if (!mark) {
    EndRound();
    return;
  }
  closingMark_ = *mark;
  phase_ = TPhase::Closing;
}

void TReconciler::EndRound() {
  phase_ = TPhase::Idle;
  targets_.clear();
  windowDirectories_.clear();
  windowPaths_.clear();
  spoiled_.clear();
  windowIdentities_.clear();
  for (const std::string& label : retry_) {
    if (model_.Knows(label)) model_.Mark(label);
  }
  retry_.clear();
  StartRound();
}

void TReconciler::RunListings() {
  const std::uint64_t start = sink_.ReportCount();
  // One at a time: a directory's new subdirectories are marked as it is
  // listed and come next, so a new tree is listed whole in one round.
  while (model_.MarkedCount() != 0 && targets_.size() < kRoundDirectories &&
         sink_.ReportCount() - start < kRoundReports) {
    std::vector<std::string> next = model_.TakeMarked(1);
    AddToWindow(next.front());
    List(next.front());
  }
}

void TReconciler::AddToWindow(const std::string& label) {
  targets_.push_back(label);
  windowDirectories_.insert(label);
  for (std::size_t slash = label.find('\\'); slash + 1 < label.size();
       slash = label.find('\\', slash + 1)) {
    const std::size_t next = label.find('\\', slash + 1);
    windowPaths_.insert(label.substr(0, next));
  }
}

void TReconciler::List(const std::string& label) {
  platform::TUniqueFd fd = files_.OpenDirectoryAfresh(label);
  if (!fd.Valid()) {
    Unreachable(label);
    return;
  }
  failedOnce_.erase(label);
  // The subdirectories the model has here are those the tree has: what the
  // listing lacks of them is reported gone by name. (A wildcard would have
  // the program test the disk when it applies the report, by a path an
  // event still unread may have changed; a subdirectory taken for gone
  // would take its whole subtree with it.)
  const std::vector<std::string> known = model_.Children(label);
  Identify(label, fd.Get());
  if (const std::string identity = model_.IdentityOf(label); !identity.empty()) {
    windowIdentities_.insert(identity);
  }
  if (!files_.ListOpenDirectory(fd.Get(), listing_)) return;
  fd.Reset();
  sink_.Report(VXD_CODE_DELETE, 0, label + "*");
  std::vector<std::string> present;
  for (std::size_t i = 0; i < listing_.Size(); ++i) {
    const std::string_view name = listing_.Name(i);
    if (!IsRecordedName(name)) continue;
    if (listing_.At(i).Attributes & platform::kFileAttributeDirectory) {
      present.push_back(label + std::string(name) + "\\");
    } else {
      sink_.Report(VXD_CODE_CREATE, 0, label + std::string(name));
    }
  }
  const std::set<std::string> there(present.begin(), present.end());
  for (const std::string& child : known) {
    if (there.count(child) != 0) continue;
    sink_.Report(VXD_CODE_DIRECTORY, 1, child.substr(0, child.size() - 1));
    model_.Forget(child, Releaser());
  }
  for (const std::string& child : present) {
    sink_.Report(VXD_CODE_DIRECTORY, 0, child.substr(0, child.size() - 1));
    IdentifyChild(child);
  }
}

void TReconciler::Unreachable(const std::string& label) {
  // Moved or removed by an event still to be read, most likely: the label
  // follows it, and it is tried again after this round. Should it fail
  // again, the listing of its parent tells whether it is there.
  if (failedOnce_.insert(label).second) {
    retry_.push_back(label);
    return;
  }
  failedOnce_.erase(label);
  const std::string parent = ParentLabel(label);
  if (!parent.empty() && model_.Knows(parent)) model_.Mark(parent);
}

bool TReconciler::Identify(const std::string& label, int fd) {
  bool refused = false;
  const std::string identity = identifier_.Identify(fd, refused);
  const bool known = model_.Knows(label);
  const std::string before = model_.IdentityOf(label);
  bool list = !known || (before.empty() && !model_.IsUnwatchable(label));
  if (!before.empty() && before != identity) {
    // Another directory than the one the model had here: what it had
    // below this label stays (the tree has it) but is to be looked at anew.
    model_.ClearIdentities(label, Releaser(identity));
    list = true;
  }
  if (identity.empty()) {
    model_.Add(label);
  } else {
    model_.Place(label, identity);
  }
  model_.SetUnwatchable(label, identity.empty() && refused);
  return list;
}

void TReconciler::IdentifyChild(const std::string& label) {
  platform::TUniqueFd fd = files_.OpenDirectoryAfresh(label);
  if (!fd.Valid()) {
    // Gone already (its removal is on its way), or not to be entered (a
    // mount that is no fixed disk): known all the same, as the tree has it.
    model_.Add(label);
    return;
  }
  if (Identify(label, fd.Get())) model_.Mark(label);
}

}  // namespace varnoke::driver
