#include "driver/directory_model.h"

#include <utility>

namespace varnoke::driver {
namespace {

// Moves the members of set at or below from to the same places below to.
void MoveRange(std::set<std::string>& set, const std::string& from, const std::string& to) {
  std::vector<std::string> moved;
  for (auto it = set.lower_bound(from); it != set.end() && IsAtOrBelow(*it, from);) {
    moved.push_back(to + it->substr(from.size()));
    it = set.erase(it);
  }
  set.insert(moved.begin(), moved.end());
}

void EraseRange(std::set<std::string>& set, const std::string& directory) {
  auto it = set.lower_bound(directory);
  while (it != set.end() && IsAtOrBelow(*it, directory))
    it = set.erase(it);
}

}  // namespace

bool IsAtOrBelow(const std::string& label, const std::string& directory) {
  return label.compare(0, directory.size(), directory) == 0;
}

std::string ParentLabel(const std::string& label) {
  if (label.size() < 2) return {};
  const std::size_t slash = label.rfind('\\', label.size() - 2);
  if (slash == std::string::npos) return {};
  return label.substr(0, slash + 1);
}

std::string TDirectoryModel::IdentityOf(const std::string& label) const {
  const auto it = labels_.find(label);
  return it == labels_.end() ? std::string() : it->second.Identity;
}

bool TDirectoryModel::IsUnwalked(const std::string& label) const {
  const auto it = labels_.find(label);
  return it != labels_.end() && it->second.Unwalked;
}

bool TDirectoryModel::IsMarkedForWalkOnly(const std::string& label) const {
  const auto it = labels_.find(label);
  return it != labels_.end() && it->second.WalkOnly;
}

const std::string* TDirectoryModel::LabelOf(const std::string& identity) const {
  const auto it = byIdentity_.find(identity);
  return it == byIdentity_.end() ? nullptr : &it->second;
}

TDirectoryModel::TEntry& TDirectoryModel::Insert(const std::string& label) {
  const auto [it, added] = labels_.try_emplace(label);
  if (added && walking_) {
    it->second.Unwalked = true;
    it->second.WalkOnly = true;
    ++unwalked_;
    marked_.insert(label);
  }
  return it->second;
}

void TDirectoryModel::Add(const std::string& label) {
  Insert(label);
}

void TDirectoryModel::EndWalk() {
  walking_ = false;
  if (unwalked_ == 0) return;
  for (auto& [label, entry] : labels_)
    entry.Unwalked = entry.WalkOnly = false;
  unwalked_ = 0;
}

void TDirectoryModel::Walked(const std::string& label) {
  const auto it = labels_.find(label);
  if (it == labels_.end() || !it->second.Unwalked) return;
  it->second.Unwalked = it->second.WalkOnly = false;
  --unwalked_;
}

void TDirectoryModel::MarkForWalk(const std::string& label) {
  if (IsUnwalked(label)) marked_.insert(label);
}

void TDirectoryModel::MarkUnwalked() {
  for (const auto& [label, entry] : labels_) {
    if (entry.Unwalked) marked_.insert(label);
  }
}

void TDirectoryModel::Unmark(TEntry& entry) {
  entry.WalkOnly = false;
}

void TDirectoryModel::Place(const std::string& label, const std::string& identity) {
  if (identity.empty()) {
    Add(label);
    return;
  }
  if (const auto other = byIdentity_.find(identity);
      other != byIdentity_.end() && other->second != label) {
    // The directory is not where the model had it: that place is to be
    // looked at again.
    const std::string old = other->second;
    labels_[old].Identity.clear();
    Mark(old);
  }
  std::string& current = Insert(label).Identity;
  if (!current.empty() && current != identity) byIdentity_.erase(current);
  current = identity;
  byIdentity_[identity] = label;
  unwatchable_.erase(label);
}

void TDirectoryModel::ClearIdentity(const std::string& label) {
  const auto it = labels_.find(label);
  if (it == labels_.end() || it->second.Identity.empty()) return;
  byIdentity_.erase(it->second.Identity);
  it->second.Identity.clear();
}

void TDirectoryModel::ClearIdentities(const std::string& label, const TRelease& release) {
  for (auto it = labels_.lower_bound(label); it != labels_.end() && IsAtOrBelow(it->first, label);
       ++it) {
    std::string& identity = it->second.Identity;
    if (identity.empty()) continue;
    byIdentity_.erase(identity);
    if (release) release(identity);
    identity.clear();
  }
}

void TDirectoryModel::Forget(const std::string& label, const TRelease& release) {
  for (auto it = labels_.lower_bound(label);
       it != labels_.end() && IsAtOrBelow(it->first, label);) {
    const std::string& identity = it->second.Identity;
    if (!identity.empty()) {
      byIdentity_.erase(identity);
      if (release) release(identity);
    }
    if (it->second.Unwalked) --unwalked_;
    it = labels_.erase(it);
  }
  EraseRange(marked_, label);
  EraseRange(unwatchable_, label);
}

void TDirectoryModel::Move(const std::string& from, const std::string& to,
                           const TRelease& release) {
  if (from == to) return;
  std::vector<std::pair<std::string, TEntry>> moved;
  for (auto it = labels_.lower_bound(from); it != labels_.end() && IsAtOrBelow(it->first, from);) {
    if (it->second.Unwalked) --unwalked_;
    moved.emplace_back(to + it->first.substr(from.size()), std::move(it->second));
    it = labels_.erase(it);
  }
  // Moving a subtree into itself cannot happen on a disk; should the events
  // say so, what was at to is simply replaced.
  Forget(to, release);
  for (auto& [label, entry] : moved) {
    if (!entry.Identity.empty()) byIdentity_[entry.Identity] = label;
    if (entry.Unwalked) ++unwalked_;
    labels_[label] = std::move(entry);
  }
  MoveRange(marked_, from, to);
  MoveRange(unwatchable_, from, to);
}

void TDirectoryModel::Mark(const std::string& label) {
  Unmark(Insert(label));
  marked_.insert(label);
}

std::vector<std::string> TDirectoryModel::TakeMarked(std::size_t count) {
  std::vector<std::string> taken;
  while (!marked_.empty() && taken.size() < count) {
    taken.push_back(std::move(marked_.extract(marked_.begin()).value()));
  }
  return taken;
}

void TDirectoryModel::MarkAll() {
  for (auto& [label, entry] : labels_) {
    marked_.insert(marked_.end(), label);
    Unmark(entry);
  }
}

void TDirectoryModel::MarkSubtree(const std::string& label) {
  for (auto it = labels_.lower_bound(label); it != labels_.end() && IsAtOrBelow(it->first, label);
       ++it) {
    marked_.insert(it->first);
    Unmark(it->second);
  }
}

std::vector<std::string> TDirectoryModel::Children(const std::string& label) const {
  std::vector<std::string> children;
  auto it = labels_.upper_bound(label);
  while (it != labels_.end() && IsAtOrBelow(it->first, label)) {
    children.push_back(it->first);
    // Past the child's own subtree: its labels all start with the child's
    // label, whose last character "\" is followed by "]" in byte order.
    std::string end = it->first;
    end.back() = '\\' + 1;
    it = labels_.lower_bound(end);
  }
  return children;
}

void TDirectoryModel::SetUnwatchable(const std::string& label, bool unwatchable) {
  if (unwatchable) {
    if (labels_.count(label) != 0) unwatchable_.insert(label);
  } else {
    unwatchable_.erase(label);
  }
}

void TDirectoryModel::MarkUnwatchable(std::size_t count) {
  auto it = unwatchable_.upper_bound(unwatchableCursor_);
  for (std::size_t i = 0; i < count && !unwatchable_.empty(); ++i) {
    if (it == unwatchable_.end()) it = unwatchable_.begin();
    marked_.insert(*it);
    if (const auto entry = labels_.find(*it); entry != labels_.end()) Unmark(entry->second);
    unwatchableCursor_ = *it;
    ++it;
    if (i + 1 >= unwatchable_.size()) break;  // each at most once a call
  }
}

}  // namespace varnoke::driver
