#include "driver/reconciler.h"

#include <algorithm>
#include <optional>
#include <set>
#include <utility>

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
    bool refused = false;
    const std::string identity = identifier_.Identify(fd.Get(), refused);
    SetIdentity(label, identity, refused);
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

void TReconciler::BeginComparison(const std::vector<std::string>& roots) {
  comparing_ = true;
  model_.BeginWalk();
  for (const std::string& root : roots)
    model_.Add(root);  // unwalked, and marked for the walk
}

bool TReconciler::Observe(const std::string& parent, const std::string& identity,
                          std::string_view name, bool directory) {
  // Waiting to be listed, the directory's files may not be in the tree
  // yet (it was moved in, or made while the program was not running) or
  // any more (a listing's test went wrong).
  const bool pending = model_.IsMarked(parent) || model_.IsUnwalked(parent);
  if (phase_ != TPhase::Settling && phase_ != TPhase::Closing) return pending;
  bool listed = false;
  if (const auto it = targetByIdentity_.find(identity);
      !identity.empty() && it != targetByIdentity_.end()) {
    if (directory) Spoil(it->second);
    listed = true;
  }
  if (const auto it = targetByLabel_.find(parent); directory && it != targetByLabel_.end()) {
    Spoil(it->second);
  }
  std::string path = parent + std::string(name);
  if (windowPaths_.count(path) != 0) {
    path.push_back('\\');
    for (std::size_t i = 0; i < targets_.size(); ++i) {
      if (IsAtOrBelow(targets_[i].Label, path)) Spoil(i);
    }
  }
  return listed || pending;
}

void TReconciler::Spoil(std::size_t target) {
  TTarget& spoiled = targets_[target];
  if (spoiled.Spoiled) return;
  spoiled.Spoiled = true;
  // Listed again in a later round; the mark moves with the label should
  // the event that spoiled the round be a rename.
  if (model_.Knows(spoiled.Label)) model_.Mark(spoiled.Label);
}

void TReconciler::OnDrained() {
  if (phase_ == TPhase::Idle) StartRound();
}

void TReconciler::OnWake() {
  if (phase_ == TPhase::Idle) {
    StartRound();
  } else {
    CheckHandled();
  }
}

void TReconciler::OnOverflow() {
  phase_ = TPhase::Idle;
  ClearWindow();
  putOff_.clear();
  putOffBefore_.clear();
  model_.MarkAll();
}

void TReconciler::StartRound() {
  if (model_.MarkedCount() == 0) EndWalkWhenDone();
  if (model_.MarkedCount() == 0) return;
  // The reports wait in memory until the program has handled them: it may
  // lag one round behind, no more.
  if (!sink_.HandledUpTo(listedFrom_)) return;
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
    listedFrom_ = sink_.ReportCount();
    RunListings();
    phase_ = TPhase::Settling;
    lastReport_ = sink_.ReportCount();
    CheckHandled();
  } else if (phase_ == TPhase::Closing && number == closingMark_) {
    EndRound();
  }
}

void TReconciler::CheckHandled() {
  if (phase_ != TPhase::Settling) return;
  // Only a program that tests the disk as it applies a report may run
  // ahead of the events; the walk's listings are applied as they were
  // made, so that its rounds need not wait for the program.
  if (testsDisk_ && !sink_.HandledUpTo(lastReport_)) return;
  const std::optional<std::uint64_t> mark = marks_.Emit();
  if (!mark) {
    EndRound();
    return;
  }
  closingMark_ = *mark;
  phase_ = TPhase::Closing;
}

void TReconciler::EndRound() {
  // Unchanged since the opening mark, a listed directory has lost the
  // subdirectories it lacked then: the model's by name; for a comparison,
  // whichever the program's tree has that the listing had not, all the
  // round's in one report.
  std::string unchanged;
  for (const TTarget& target : targets_) {
    if (target.Spoiled) continue;
    const bool compared = target.Compared && comparing_;
    if (compared) {
      unchanged.append(target.Label);
      unchanged.push_back('\0');
    }
    for (const std::string& child : target.Absent) {
      if (!model_.Knows(child)) continue;
      if (!compared) sink_.Report(VXD_CODE_DIRECTORY, 1, child.substr(0, child.size() - 1));
      model_.Forget(child, Releaser());
    }
    if (target.Walked) model_.Walked(target.Label);
  }
  if (!unchanged.empty()) {
    sink_.Report(VXD_CODE_LISTING, VXD_LISTING_UNCHANGED, {}, std::move(unchanged));
  }
  phase_ = TPhase::Idle;
  ClearWindow();
  StartRound();
}

void TReconciler::EndWalkWhenDone() {
  if (!model_.Walking()) return;
  if (model_.UnwalkedCount() != 0) {
    // Left unmarked when they could not be listed, and found there all the
    // same: they are tried again.
    model_.MarkUnwalked();
    return;
  }
  model_.EndWalk();
  comparing_ = false;
  sink_.Report(VXD_CODE_LISTING, VXD_LISTING_END, {});
}

void TReconciler::ClearWindow() {
  targets_.clear();
  targetByLabel_.clear();
  targetByIdentity_.clear();
  windowPaths_.clear();
}

void TReconciler::RunListings() {
  std::uint64_t weight = 0;
  testsDisk_ = false;
  // The first directory of the round is opened from the drive's root
  // down: what the file system kept open from earlier may have been moved
  // since. From then on, a rename of what the round opens spoils it.
  afresh_ = true;
  // One at a time: a directory's new subdirectories are marked as it is
  // listed and come next, so a new tree is listed whole in one round.
  while (model_.MarkedCount() != 0 && targets_.size() < kRoundDirectories &&
         weight < kRoundReports && !sink_.Stopping()) {
    if (comparing_ && sink_.ComparisonCalledOff()) comparing_ = false;
    List(model_.TakeMarked(1).front(), weight);
  }
  for (const std::string& label : putOff_) {
    if (model_.Knows(label)) model_.Mark(label);
  }
  putOff_.clear();
  // Labels move with renames: what was put off long ago is forgotten.
  if (putOffBefore_.size() > kRoundDirectories) putOffBefore_.clear();
}

bool TReconciler::IsThere(const std::string& label) const {
  return files_.FileExists(label.substr(0, label.size() - 1));
}

bool TReconciler::PutOff(const std::string& label) {
  if (putOffBefore_.insert(label).second) {
    putOff_.push_back(label);
    return true;
  }
  putOffBefore_.erase(label);
  return false;
}

void TReconciler::SetIdentity(const std::string& label, const std::string& identity, bool refused) {
  if (identity.empty()) {
    model_.Add(label);
  } else {
    model_.Place(label, identity);
  }
  model_.SetUnwatchable(label, identity.empty() && refused);
}

std::size_t TReconciler::AddTarget(const std::string& label, const std::string& identity) {
  const std::size_t index = targets_.size();
  TTarget target;
  target.Label = label;
  targets_.push_back(std::move(target));
  targetByLabel_[label] = index;
  if (!identity.empty()) targetByIdentity_[identity] = index;
  // From the longest down: where one is there already, so are the shorter
  // ones, which the target that put it there put there too.
  for (std::size_t end = label.size() - 1; end != std::string::npos && end > 2;
       end = label.rfind('\\', end - 1)) {
    if (!windowPaths_.insert(label.substr(0, end)).second) break;
  }
  return index;
}

void TReconciler::List(const std::string& label, std::uint64_t& weight) {
  const bool walked = model_.IsUnwalked(label);
  std::optional<std::size_t> target;
  bool read = false;
  const bool opened = files_.InspectDirectory(
      label, std::exchange(afresh_, false),
      [&](int fd) {
        bool refused = false;
        const std::string identity = identifier_.Identify(fd, refused);
        const std::string before = model_.IdentityOf(label);
        const std::string* elsewhere = identity.empty() ? nullptr : model_.LabelOf(identity);
        const bool replaced = !before.empty() && before != identity;
        if (replaced || (elsewhere != nullptr && *elsewhere != label)) {
          if (PutOff(label)) return false;
          // The events did not explain it: the model is wrong here. What it
          // had below stays (the tree has it), to be looked at anew.
          if (replaced) model_.ClearIdentities(label, Releaser(identity));
        }
        putOffBefore_.erase(label);
        SetIdentity(label, identity, refused);
        target = AddTarget(label, identity);
        targets_[*target].Walked = walked;
        return true;
      },
      listing_, read);
  if (!opened) {
    if (IsThere(label)) {
      // There, but not to be entered: a scan finds nothing in it either.
      if (walked) {
        target = AddTarget(label, model_.IdentityOf(label));
        targets_[*target].Walked = true;
        ReportListing(label, *target, {}, weight);
      }
      return;
    }
    // Moved or removed by an event still to be read, most likely; failing
    // again, the listing of its parent tells whether it is there.
    if (!PutOff(label)) {
      const std::string parent = ParentLabel(label);
      if (!parent.empty() && model_.Knows(parent)) {
        model_.Mark(parent);
      } else {
        model_.Walked(label);  // a drive's root that cannot be opened
      }
    }
    return;
  }
  if (!target) return;  // put off
  // One that cannot be read holds nothing to a scan, but a listing of one
  // the tree follows already tells nothing.
  if (!read && !targets_[*target].Walked) return;
  std::vector<std::string> present;
  for (std::size_t i = 0; i < listing_.Size(); ++i) {
    const std::string_view name = listing_.Name(i);
    if (IsRecordedName(name) && (listing_.At(i).Attributes & platform::kFileAttributeDirectory)) {
      present.push_back(label + std::string(name) + "\\");
    }
  }
  const bool live = ReportListing(label, *target, present, weight);
  if (const std::vector<std::string> known = model_.Children(label); !known.empty()) {
    const std::set<std::string> there(present.begin(), present.end());
    for (const std::string& child : known) {
      if (there.count(child) == 0) targets_[*target].Absent.push_back(child);
    }
  }
  for (const std::string& child : present) {
    // The walk identifies a new one as it lists it.
    if (targets_[*target].Walked && !model_.Knows(child)) {
      model_.Add(child);
    } else {
      IdentifyChild(child, live);
    }
  }
}

bool TReconciler::ReportListing(const std::string& label, std::size_t target,
                                const std::vector<std::string>& present, std::uint64_t& weight) {
  TTarget& listed = targets_[target];
  if (listed.Walked && comparing_) {
    // The whole listing in one report: the program compares it with what
    // its tree holds there.
    std::string entries;
    for (std::size_t i = 0; i < listing_.Size(); ++i) {
      const std::string_view name = listing_.Name(i);
      if (!IsRecordedName(name)) continue;
      entries.append(name);
      if (listing_.At(i).Attributes & platform::kFileAttributeDirectory) entries.push_back('\\');
      entries.push_back('\0');
      ++weight;
    }
    ++weight;
    listed.Compared = true;
    sink_.Report(VXD_CODE_LISTING, VXD_LISTING_ENTRIES, label, std::move(entries));
    return false;
  }
  // The comparison called off, the walk only identifies what it lists.
  if (listed.Walked && model_.IsMarkedForWalkOnly(label)) return false;
  testsDisk_ = true;
  const std::uint64_t start = sink_.ReportCount();
  sink_.Report(VXD_CODE_DELETE, 0, label + "*");
  for (std::size_t i = 0; i < listing_.Size(); ++i) {
    const std::string_view name = listing_.Name(i);
    if (IsRecordedName(name) && !(listing_.At(i).Attributes & platform::kFileAttributeDirectory)) {
      sink_.Report(VXD_CODE_CREATE, 0, label + std::string(name));
    }
  }
  for (const std::string& child : present)
    sink_.Report(VXD_CODE_DIRECTORY, 0, child.substr(0, child.size() - 1));
  weight += sink_.ReportCount() - start;
  return true;
}

void TReconciler::IdentifyChild(const std::string& label, bool live) {
  platform::TUniqueFd fd = files_.OpenDirectory(label);
  if (!fd.Valid()) {
    // Known all the same, as the tree has it. Not to be entered (a mount
    // that is no fixed disk), it stays as it is; gone since it was listed,
    // moved most likely, it is to be listed where the events take it.
    model_.Add(label);
    model_.MarkForWalk(label);
    if (!IsThere(label)) model_.Mark(label);
    return;
  }
  bool refused = false;
  const std::string identity = identifier_.Identify(fd.Get(), refused);
  const bool known = model_.Knows(label);
  const std::string before = model_.IdentityOf(label);
  const std::string* elsewhere = identity.empty() ? nullptr : model_.LabelOf(identity);
  if ((!before.empty() && before != identity) || (elsewhere != nullptr && *elsewhere != label)) {
    // Renamed here, or another directory took this name, by events still
    // to be read, most likely: the next round looks again.
    model_.Add(label);
    model_.MarkForWalk(label);
    putOff_.push_back(label);
    return;
  }
  // Listed when new here, or when it had no identity: watched only from
  // now on, what changed in it before was seen by no event. (One the
  // kernel still refuses a watch is left to the timer.)
  const bool untrusted =
      !known || (before.empty() && (!identity.empty() || !model_.IsUnwatchable(label)));
  SetIdentity(label, identity, refused);
  // Found by the walk, one still to be walked needs no listing of its own:
  // the walk's serves.
  if (untrusted && (live || !model_.IsUnwalked(label))) {
    model_.Mark(label);
  } else {
    model_.MarkForWalk(label);
  }
}

}  // namespace varnoke::driver
