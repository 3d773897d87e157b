#include "monitor/catch_up.h"

#include <string_view>
#include <utility>

namespace varnoke {
namespace {

// The names of a listing report: each ended by a NUL, the list by an empty
// one. They are the device's, valid until the report is acknowledged.
std::vector<std::string_view> ListedNames(const char* list) {
  std::vector<std::string_view> names;
  if (list == nullptr) return names;
  for (const char* p = list; *p != '\0';) {
    const std::string_view name(p);
    names.push_back(name);
    p += name.size() + 1;
  }
  return names;
}

}  // namespace

TCatchUpStatus TCatchUp::Status() const {
  std::lock_guard guard(mutex_);
  return status_;
}

std::vector<TTreeChange> TCatchUp::TakeChanges() {
  std::lock_guard guard(mutex_);
  return std::exchange(kept_, {});
}

void TCatchUp::CallOff() {
  std::lock_guard guard(mutex_);
  if (!status_.Running) return;
  status_.Running = false;
  status_.CalledOff = true;
}

void TCatchUp::Begin() {
  std::lock_guard guard(mutex_);
  status_ = TCatchUpStatus{};
  status_.Running = true;
  kept_.clear();
  keptSoFar_ = 0;
}

void TCatchUp::Apply(TMemoryDB& db, const TChangeEvent& event) {
  changes_.clear();
  const std::string_view path = event.Path != nullptr ? event.Path : "";
  bool folder = false;
  bool ended = false;
  switch (event.Info) {
    case VXD_LISTING_ENTRIES:
      db.ApplyListing(path, ListedNames(event.NewPath), changes_);
      folder = true;
      break;
    case VXD_LISTING_UNCHANGED:
      db.ApplyUnchanged(ListedNames(event.NewPath), changes_);
      break;
    case VXD_LISTING_END: {
      bool calledOff = false;
      {
        std::lock_guard guard(mutex_);
        calledOff = status_.CalledOff;
      }
      // Called off, the catch-up leaves the rest of the tree as it is.
      db.EndListings(calledOff ? nullptr : &changes_);
      ended = true;
      break;
    }
    default:
      return;
  }
  std::lock_guard guard(mutex_);
  if (folder) ++status_.Folders;
  status_.Changes += changes_.size();
  for (TTreeChange& change : changes_) {
    if (keptSoFar_ == kChangesKept) break;
    kept_.push_back(std::move(change));
    ++keptSoFar_;
  }
  if (ended) {
    status_.Ended = true;
    status_.Running = false;
  }
}

}  // namespace varnoke
