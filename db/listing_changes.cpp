// Setting the tree right from listings of the disk: a directory's listing,
// reported whole at its place among the change reports, is compared with
// what the tree holds there, and only the differences change the tree.
#include <algorithm>

#include "db/memory_db.h"
#include "platform/upcase.h"

namespace varnoke {
namespace {

// A listed name, upper-cased as the tree keeps it, and as the disk spells it.
struct TListedName {
  std::string_view Upper;
  std::string_view Spelling;
};

// The listed names of one kind (a directory's end with "\"), sorted by
// their upper-cased form; names of one form keep their listing order.
class TListedNames {
 public:
  TListedNames(const std::vector<std::string_view>& entries, bool directories) {
    std::vector<std::pair<std::size_t, std::string_view>> starts;
    for (std::string_view entry : entries) {
      const bool directory = !entry.empty() && entry.back() == '\\';
      if (directory != directories) continue;
      if (directory) entry.remove_suffix(1);
      if (entry.empty()) continue;
      starts.emplace_back(upper_.size(), entry);
      platform::AppendUpperCase(entry, upper_);
    }
    // The views once upper_ has stopped growing.
    names_.reserve(starts.size());
    for (std::size_t k = 0; k < starts.size(); ++k) {
      const std::size_t end = k + 1 < starts.size() ? starts[k + 1].first : upper_.size();
      names_.push_back({std::string_view(upper_).substr(starts[k].first, end - starts[k].first),
                        starts[k].second});
    }
    std::stable_sort(names_.begin(), names_.end(),
                     [](const TListedName& a, const TListedName& b) { return a.Upper < b.Upper; });
  }

  const std::vector<TListedName>& Names() const noexcept { return names_; }

 private:
  std::string upper_;
  std::vector<TListedName> names_;
};

// A name whose count differs between the tree and the listing, or that has
// twins in either: the tree holds Held entries of it, the listing names
// [First, End) of its sorted names.
struct TDifference {
  std::string Name;
  std::size_t Held = 0;
  std::size_t First = 0;
  std::size_t End = 0;

  std::size_t Listed() const noexcept { return End - First; }
};

// Walks the sorted names of the tree (held) and of the listing side by side
// and gives every name that needs looking at.
std::vector<TDifference> Differences(const std::vector<std::string_view>& held,
                                     const std::vector<TListedName>& listed) {
  std::vector<TDifference> differences;
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < held.size() || j < listed.size()) {
    const std::string_view name =
        j == listed.size() || (i < held.size() && held[i] < listed[j].Upper) ? held[i]
                                                                             : listed[j].Upper;
    std::size_t count = 0;
    for (; i < held.size() && held[i] == name; ++i)
      ++count;
    const std::size_t first = j;
    for (; j < listed.size() && listed[j].Upper == name; ++j) {
    }
    if (count != j - first || count > 1 || j - first > 1)
      differences.push_back({std::string(name), count, first, j});
  }
  return differences;
}

std::vector<std::string_view> SortedNames(const std::vector<TDirectoryRecord*>& records) {
  std::vector<std::string_view> names;
  names.reserve(records.size());
  for (const TDirectoryRecord* record : records)
    names.push_back(record->Name());
  std::sort(names.begin(), names.end());
  return names;
}

// A listing's directory: drive form, ending with "\". Its drive is not
// tested: the device lists the fixed drives only, and the end of the
// listings removes a drive that is no longer one.
bool IsListedDirectory(std::string_view directory) {
  return directory.size() >= 3 && directory[1] == ':' && directory.back() == '\\';
}

}  // namespace

TDirectoryRecord* TMemoryDB::ListedDirectory(std::string_view directory,
                                             std::vector<TTreeChange>& found) {
  // The deepest directory of the path the tree holds, then the rest made
  // below it, top down: each is there at this place among the reports.
  std::vector<std::string_view> missing;
  TDirectoryRecord* record = nullptr;
  for (std::string_view path = directory;;) {
    record = ResolveReport(path).Directory;
    if (record != nullptr) break;
    missing.push_back(path);
    const std::size_t slash = path.rfind('\\', path.size() - 2);
    if (slash == std::string_view::npos) break;  // a drive's root
    path = path.substr(0, slash + 1);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    const std::string_view path = it->substr(0, it->size() - 1);
    const std::size_t slash = path.rfind('\\');
    const std::string name =
        platform::UpperCase(slash == std::string_view::npos ? path : path.substr(slash + 1));
    if (name.empty()) return nullptr;
    record = ddList_->AddDirectory(name, record);
    found.push_back({true, std::string(*it)});
  }
  return record;
}

void TMemoryDB::ApplyListing(std::string_view directory,
                             const std::vector<std::string_view>& entries,
                             std::vector<TTreeChange>& found) {
  if (!IsListedDirectory(directory)) return;
  std::lock_guard guard(Lock);
  twins_.BeginReport();
  TDirectoryRecord* record = ListedDirectory(directory, found);
  if (record == nullptr) return;

  // Files: as many of each name as the listing holds. Reports add entries
  // at the head of the chain, so those further back go first, as when a
  // report meets twins.
  std::vector<std::string_view> held;
  for (const TFileEntry* e = record->Files(); e != nullptr; e = e->Next())
    held.push_back(e->Name());
  std::sort(held.begin(), held.end());
  const TListedNames files(entries, false);
  for (const TDifference& d : Differences(held, files.Names())) {
    for (std::size_t k = d.First + d.Held; k < d.End; ++k) {
      ddList_->AddFile(d.Name, record);
      found.push_back({true, std::string(directory) + std::string(files.Names()[k].Spelling)});
    }
    if (d.Held > d.Listed()) {
      const std::vector<TFileEntry*> named = ddList_->FilesNamed(record, d.Name);
      for (std::size_t k = 0; k < d.Held - d.Listed() && k < named.size(); ++k) {
        TFileEntry* e = named[named.size() - 1 - k];
        BlankFileResult(e);
        ddList_->RemoveFileEntry(e, record);
        found.push_back({false, std::string(directory) + d.Name});
      }
    }
    if (d.Held > 1 || d.Listed() > 1)
      twins_.Counted(record, d.Name, static_cast<std::uint32_t>(d.Listed()));
  }

  // Subdirectories: those the tree lacks are added. Those it holds and the
  // listing has not wait until the device says nothing has changed them
  // since (ApplyUnchanged): one may have been renamed away by a report
  // still to come.
  std::vector<TDirectoryRecord*> children;
  ddList_->AppendSubdirectories(record, children);
  const TListedNames subdirectories(entries, true);
  std::vector<TTwinMemory::TShortName> short_;
  for (const TDifference& d : Differences(SortedNames(children), subdirectories.Names())) {
    for (std::size_t k = d.First + d.Held; k < d.End; ++k) {
      ddList_->AddDirectory(d.Name, record);
      found.push_back(
          {true, std::string(directory) + std::string(subdirectories.Names()[k].Spelling) + "\\"});
    }
    if (d.Held > d.Listed()) {
      TTwinMemory::TShortName& name = short_.emplace_back();
      name.Name = d.Name;
      for (std::size_t k = d.First; k < d.End; ++k)
        name.Spellings.emplace_back(subdirectories.Names()[k].Spelling);
    }
  }
  twins_.Listed(record, directory, std::move(short_));
}

void TMemoryDB::ApplyUnchanged(const std::vector<std::string_view>& directories,
                               std::vector<TTreeChange>& found) {
  std::lock_guard guard(Lock);
  twins_.BeginReport();
  std::vector<TTwinMemory::TShortName> short_;
  std::vector<TDirectoryRecord*> held;
  for (const std::string_view directory : directories) {
    // A directory no longer listed went, or the tree was replaced: it has
    // nothing left to lose.
    TDirectoryRecord* record = twins_.Settle(directory, short_);
    if (record == nullptr) continue;
    // Of the names the listing had fewer of, as many records stay as it
    // had; which ones, their contents tell.
    for (const TTwinMemory::TShortName& name : short_) {
      ddList_->DirectoriesNamed(name.Name, record, held);
      if (held.size() <= name.Spellings.size()) continue;
      const std::vector<std::string_view> onDisk(name.Spellings.begin(), name.Spellings.end());
      for (TDirectoryRecord* gone :
           GoneTwins(held, onDisk, directory, held.size() - onDisk.size())) {
        found.push_back({false, std::string(directory) + name.Name + "\\"});
        RemoveDirectoryAndRows(gone);
      }
      twins_.Counted(record, name.Name, static_cast<std::uint32_t>(onDisk.size()));
    }
  }
}

void TMemoryDB::EndListings(std::vector<TTreeChange>* found) {
  std::vector<std::string> gone;
  if (found != nullptr) {
    // Asked before the lock: the drives are not the tree's.
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
      const std::string root{letter, ':', '\\'};
      if (!IsFixedDrivePath(root)) gone.push_back(root.substr(0, 2));
    }
  }
  std::lock_guard guard(Lock);
  twins_.SettledAll();
  std::vector<TDirectoryRecord*> roots;
  for (const std::string& name : gone) {
    ddList_->DirectoriesNamed(name, nullptr, roots);
    for (TDirectoryRecord* root : roots) {
      found->push_back({false, name + "\\"});
      RemoveDirectoryAndRows(root);
    }
  }
}

}  // namespace varnoke
