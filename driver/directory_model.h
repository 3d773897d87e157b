// The device's picture of the directories of the drives: each one by its
// label, the drive-form path the reports so far have given it ("C:\A\b\",
// spelt as the disk spells it, ending with "\"), with the kernel's identity
// of it where the source has one (an inotify watch, a fanotify handle).
//
// Labels change only in the order the events happened: a rename moves a
// whole subtree of labels. So an event is always read against the place
// its directory had when the event happened, however late it is read.
//
// Three sets ride along with the labels and move with them: the directories
// to be listed by the next round of listings (marked), those the source
// could not identify because the kernel refused (unwatchable), and those
// the walk at start has still to list (unwalked).
//
// Used by the device's reader thread only.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace varnoke::driver {

class TDirectoryModel {
 public:
  // Called with each identity the model lets go of.
  using TRelease = std::function<void(const std::string& identity)>;

  bool Knows(const std::string& label) const { return labels_.count(label) != 0; }
  // The identity of the label; empty when it has none or is unknown.
  std::string IdentityOf(const std::string& label) const;
  // The label of the identity; null when no label has it.
  const std::string* LabelOf(const std::string& identity) const;

  // Adds the label when it is new, without an identity.
  void Add(const std::string& label);
  // Gives the label this identity (adding the label when new). The identity
  // leaves the label it had before, which keeps no identity and is marked,
  // so that a listing finds out what is there now.
  void Place(const std::string& label, const std::string& identity);
  // The label keeps no identity.
  void ClearIdentity(const std::string& label);
  // The label and every label below it keep no identity; the labels stay.
  void ClearIdentities(const std::string& label, const TRelease& release);

  // Removes the label and every label below it.
  void Forget(const std::string& label, const TRelease& release);
  // Gives every label of the subtree at from the place it has below to.
  // What was at to and below it goes first (a directory that was replaced).
  void Move(const std::string& from, const std::string& to, const TRelease& release);

  // The listings to come.
  void Mark(const std::string& label);  // adds the label when new
  bool IsMarked(const std::string& label) const { return marked_.count(label) != 0; }
  std::size_t MarkedCount() const { return marked_.size(); }
  // Takes up to count marked labels, parents before children.
  std::vector<std::string> TakeMarked(std::size_t count);
  void MarkAll();
  // Marks the label and every label below it.
  void MarkSubtree(const std::string& label);

  // The labels just below label, in order.
  std::vector<std::string> Children(const std::string& label) const;

  // Labels the kernel would not identify (out of watches).
  void SetUnwatchable(const std::string& label, bool unwatchable);
  std::size_t UnwatchableCount() const { return unwatchable_.size(); }
  bool IsUnwatchable(const std::string& label) const { return unwatchable_.count(label) != 0; }
  // Marks up to count unwatchable labels, going round them in order from
  // where the last call stopped.
  void MarkUnwatchable(std::size_t count);

  // The walk at start, which lists every directory once (see TReconciler):
  // while it is on, every label new to the model is unwalked, and marked
  // for the walk only. Mark asks for a listing of its own: the label is
  // marked for more than the walk from then on.
  void BeginWalk() { walking_ = true; }
  void EndWalk();
  bool Walking() const { return walking_; }
  bool IsUnwalked(const std::string& label) const;
  bool IsMarkedForWalkOnly(const std::string& label) const;
  std::size_t UnwalkedCount() const { return unwalked_; }
  // The walk has listed the label.
  void Walked(const std::string& label);
  // Marks the unwalked label (or all of them) for the walk, keeping any
  // listing of its own asked for.
  void MarkForWalk(const std::string& label);
  void MarkUnwalked();

  std::size_t Size() const { return labels_.size(); }

 private:
  struct TEntry {
    std::string Identity;  // may be empty
    bool Unwalked = false;
    bool WalkOnly = false;  // marked for nothing but the walk
  };

  // The label's entry, added when new.
  TEntry& Insert(const std::string& label);
  // A listing of the label's own was asked for.
  static void Unmark(TEntry& entry);

  // Labels in order, so that a subtree is a range.
  std::map<std::string, TEntry> labels_;
  std::unordered_map<std::string, std::string> byIdentity_;
  std::set<std::string> marked_;
  std::set<std::string> unwatchable_;
  std::string unwatchableCursor_;
  std::size_t unwalked_ = 0;  // labels with Unwalked set
  bool walking_ = false;
};

// True when label lies at or below directory (both end with "\").
bool IsAtOrBelow(const std::string& label, const std::string& directory);

// The label of a directory's parent ("C:\A\" for "C:\A\B\"); empty for a
// drive root.
std::string ParentLabel(const std::string& label);

}  // namespace varnoke::driver
