// Change reports about names that differ only in case on the disk. The tree
// holds "Docs" and "DOCS" as two records named DOCS, and "a.txt" and
// "A.TXT" as two entries named A.TXT; where a report meets such twins, the
// disk tells how many of them there are and which record is which.
#include <algorithm>
#include <unordered_map>

#include "db/memory_db.h"
#include "platform/upcase.h"

namespace varnoke {
namespace {

// The entries of a directory as the tree names them ("F" or "D", then the
// upper-cased name), each with how often it occurs.
struct TContents {
  std::unordered_map<std::string, std::uint32_t> counts;
  std::size_t total = 0;

  void Add(char kind, std::string_view name) {
    std::string key(1, kind);
    key.append(name);
    ++counts[key];
    ++total;
  }
};

TContents DiskContents(platform::TFileSystem& files, const std::string& hostDirectory) {
  TDiskCensus census;
  TContents contents;
  census.Take(files, hostDirectory);  // a directory gone meanwhile holds nothing
  for (std::string& name : census.KindedNames()) {
    ++contents.counts[std::move(name)];
    ++contents.total;
  }
  return contents;
}

TContents RecordContents(TDDList& list, const TDirectoryRecord* record) {
  TContents contents;
  for (const TFileEntry* e = record->Files(); e != nullptr; e = e->Next())
    contents.Add('F', e->Name());
  std::vector<TDirectoryRecord*> children;
  list.AppendSubdirectories(record, children);
  for (const TDirectoryRecord* child : children)
    contents.Add('D', child->Name());
  return contents;
}

// How much two directories' contents resemble each other: more names in
// common first, then fewer names that only one of them holds.
struct TResemblance {
  std::size_t common = 0;
  std::size_t differing = 0;

  bool Beats(const TResemblance& other) const {
    return common != other.common ? common > other.common : differing < other.differing;
  }
};

TResemblance Compare(const TContents& a, const TContents& b) {
  TResemblance r;
  for (const auto& [name, count] : a.counts) {
    if (const auto it = b.counts.find(name); it != b.counts.end())
      r.common += std::min(count, it->second);
  }
  r.differing = a.total + b.total - 2 * r.common;
  return r;
}

bool IsEmpty(TDDList& list, const TDirectoryRecord* record) {
  if (record->Files() != nullptr) return false;
  std::vector<TDirectoryRecord*> children;
  list.AppendSubdirectories(record, children);
  return children.empty();
}

}  // namespace

TMemoryDB::TReportPath TMemoryDB::ResolveReport(std::string_view path) {
  TReportPath report;
  const std::size_t last = path.rfind('\\');
  if (last == std::string_view::npos) {
    report.HostName = std::string(path);
    report.Name = platform::UpperCase(path);
    return report;
  }
  report.HostDirectory = std::string(path.substr(0, last + 1));
  report.HostName = std::string(path.substr(last + 1));
  report.Name = platform::UpperCase(report.HostName);
  // Component by component, as ResolvePath does; upper-casing may change a
  // name's length, so each one is upper-cased on its own.
  std::vector<TDirectoryRecord*> records;
  std::string upper;
  TDirectoryRecord* directory = nullptr;
  for (std::size_t begin = 0; begin <= last;) {
    const std::size_t slash = path.find('\\', begin);
    const std::string_view spelling = path.substr(begin, slash - begin);
    upper.clear();
    platform::AppendUpperCase(spelling, upper);
    directory = ResolveComponent(directory, upper, spelling, path.substr(0, begin), records);
    if (directory == nullptr) return report;
    begin = slash + 1;
  }
  report.Directory = directory;
  return report;
}

TDirectoryRecord* TMemoryDB::ResolveComponent(TDirectoryRecord* parent, std::string_view upperName,
                                              std::string_view spelling,
                                              std::string_view hostParent,
                                              std::vector<TDirectoryRecord*>& records) {
  ddList_->DirectoriesNamed(upperName, parent, records);
  if (records.empty()) return nullptr;
  if (records.size() == 1 || parent == nullptr) return records.front();
  // The k-th record of the name stands for the k-th such directory the disk
  // lists, as the scan added them and as rows are opened.
  const TDiskCensus* census = twins_.Recent(reportFiles_, parent, hostParent, spelling, true);
  if (census == nullptr) return records.front();
  const std::vector<std::string_view> listed = census->Spellings(upperName, true);
  const auto it = std::find(listed.begin(), listed.end(), spelling);
  const auto k = static_cast<std::size_t>(it - listed.begin());
  return it != listed.end() && k < records.size() ? records[k] : records.front();
}

void TMemoryDB::AddTwinFiles(const TReportPath& report) {
  TDirectoryRecord* directory = report.Directory;
  twins_.Doubt(directory, report.Name);
  std::size_t held = ddList_->FilesNamed(directory, report.Name).size();
  const TDiskCensus* census =
      twins_.Recent(reportFiles_, directory, report.HostDirectory, report.HostName, false);
  // A census of an earlier report may say there is nothing to add; adding
  // takes the disk as it is now.
  if (census != nullptr && census->Count(report.Name, false) > held)
    census = twins_.Fresh(reportFiles_, directory, report.HostDirectory);
  if (census == nullptr) return;
  // A creation never removes: where the disk holds fewer, the deletions
  // that made it so are still to come, and they compare with the disk.
  for (const std::size_t onDisk = census->Count(report.Name, false); held < onDisk; ++held)
    ddList_->AddFile(report.Name, directory);
}

void TMemoryDB::AddTwinDirectories(const TReportPath& report) {
  TDirectoryRecord* parent = report.Directory;
  twins_.Doubt(parent, report.Name);
  std::vector<TDirectoryRecord*> held;
  ddList_->DirectoriesNamed(report.Name, parent, held);
  const TDiskCensus* census =
      twins_.Recent(reportFiles_, parent, report.HostDirectory, report.HostName, true);
  if (census != nullptr && census->Count(report.Name, true) > held.size())
    census = twins_.Fresh(reportFiles_, parent, report.HostDirectory);
  if (census == nullptr) return;
  const std::size_t onDisk = census->Count(report.Name, true);
  if (onDisk <= held.size()) return;
  AddDirectories(parent, report.Name, onDisk - held.size() - 1);
  PlaceTwin(ddList_->AddDirectory(report.Name, parent), report.HostName, *census);
}

void TMemoryDB::PlaceTwin(TDirectoryRecord* record, std::string_view spelling,
                          const TDiskCensus& census) {
  // The k-th record of a name is to stand for the k-th directory of it the
  // disk lists: the record takes that place among its twins in the chain.
  std::vector<TDirectoryRecord*> others;
  ddList_->DirectoriesNamed(record->Name(), record->Parent(), others);
  std::erase(others, record);
  if (others.empty()) return;
  const std::vector<std::string_view> listed = census.Spellings(record->Name(), true);
  const auto it = std::find(listed.begin(), listed.end(), spelling);
  if (it == listed.end()) return;
  const auto k = static_cast<std::size_t>(it - listed.begin());
  const std::uint64_t order = TDDList::ChainOrder(record);
  if (k < others.size()) {
    const bool afterPrevious = k == 0 || TDDList::ChainOrder(others[k - 1]) < order;
    if (!afterPrevious || order > TDDList::ChainOrder(others[k])) {
      ddList_->PlaceBefore(record, others[k]);
    }
  } else if (order < TDDList::ChainOrder(others.back())) {
    ddList_->PlaceAfter(record, others.back());
  }
}

void TMemoryDB::AddDirectories(TDirectoryRecord* parent, const std::string& name,
                               std::size_t count) {
  for (std::size_t i = 0; i < count; ++i)
    ddList_->AddDirectory(name, parent);
}

void TMemoryDB::SettleFiles(const TReportPath& report, const TFileEntry* keep) {
  TDirectoryRecord* directory = report.Directory;
  const TDiskCensus* census = twins_.Fresh(reportFiles_, directory, report.HostDirectory);
  std::size_t onDisk = census != nullptr ? census->Count(report.Name, false) : 0;
  // The entry a rename has just made stands for a file the device saw; if
  // it has gone since, its own report is still to come.
  if (keep != nullptr) onDisk = std::max<std::size_t>(onDisk, 1);
  const std::vector<TFileEntry*> held = ddList_->FilesNamed(directory, report.Name);
  // Entries of one name are alike to the tree, not to the rows on view.
  // Reports add entries at the head of the chain, so those further back go
  // first: the device has seen the files of the newer ones, and a rename
  // replaces the file that was there before.
  std::size_t excess = held.size() > onDisk ? held.size() - onDisk : 0;
  for (auto it = held.rbegin(); it != held.rend() && excess > 0; ++it) {
    TFileEntry* e = *it;
    if (e == keep) continue;
    BlankFileResult(e);
    ddList_->RemoveFileEntry(e, directory);
    --excess;
  }
  for (std::size_t n = held.size(); n < onDisk; ++n)
    ddList_->AddFile(report.Name, directory);
  twins_.Counted(directory, report.Name, static_cast<std::uint32_t>(onDisk));
}

void TMemoryDB::SettleDirectories(const TReportPath& report) {
  TDirectoryRecord* parent = report.Directory;
  const TDiskCensus* census = twins_.Fresh(reportFiles_, parent, report.HostDirectory);
  std::vector<std::string_view> onDisk;
  if (census != nullptr) onDisk = census->Spellings(report.Name, true);
  std::vector<TDirectoryRecord*> held;
  ddList_->DirectoriesNamed(report.Name, parent, held);
  const auto count = static_cast<std::uint32_t>(onDisk.size());
  if (held.size() > onDisk.size()) {
    const std::vector<TDirectoryRecord*> gone =
        GoneTwins(held, onDisk, report.HostDirectory, held.size() - onDisk.size());
    for (TDirectoryRecord* record : gone)
      RemoveDirectoryAndRows(record);
  } else {
    AddDirectories(parent, report.Name, onDisk.size() - held.size());
  }
  twins_.Counted(parent, report.Name, count);
}

std::vector<TDirectoryRecord*> TMemoryDB::GoneTwins(const std::vector<TDirectoryRecord*>& records,
                                                    const std::vector<std::string_view>& onDisk,
                                                    std::string_view hostParent, std::size_t gone) {
  if (gone == 0) return {};
  if (gone >= records.size()) return records;
  // The file system removes only empty directories: where exactly as many
  // records as went are empty, they are the ones.
  std::vector<TDirectoryRecord*> empty;
  for (TDirectoryRecord* record : records) {
    if (IsEmpty(*ddList_, record)) empty.push_back(record);
  }
  if (empty.size() == gone) return empty;

  // Otherwise each directory still there claims the record most like it,
  // best pairs first; the records no directory claims are the gone ones.
  struct TPair {
    TResemblance resemblance;
    std::size_t record;
    std::size_t variant;
  };
  std::vector<TContents> held;
  for (const TDirectoryRecord* record : records)
    held.push_back(RecordContents(*ddList_, record));
  std::vector<TPair> pairs;
  for (std::size_t v = 0; v < onDisk.size(); ++v) {
    const std::string path = std::string(hostParent) + std::string(onDisk[v]) + '\\';
    const TContents listed = DiskContents(reportFiles_, path);
    for (std::size_t r = 0; r < records.size(); ++r)
      pairs.push_back({Compare(held[r], listed), r, v});
  }
  std::sort(pairs.begin(), pairs.end(), [](const TPair& a, const TPair& b) {
    if (a.resemblance.Beats(b.resemblance)) return true;
    if (b.resemblance.Beats(a.resemblance)) return false;
    return a.record != b.record ? a.record < b.record : a.variant < b.variant;
  });
  std::vector<bool> recordClaimed(records.size(), false);
  std::vector<bool> variantClaimed(onDisk.size(), false);
  for (const TPair& pair : pairs) {
    if (recordClaimed[pair.record] || variantClaimed[pair.variant]) continue;
    recordClaimed[pair.record] = true;
    variantClaimed[pair.variant] = true;
  }
  std::vector<TDirectoryRecord*> unclaimed;
  for (std::size_t r = 0; r < records.size(); ++r) {
    if (!recordClaimed[r]) unclaimed.push_back(records[r]);
  }
  return unclaimed;
}

TDirectoryRecord* TMemoryDB::MovedTwin(const std::vector<TDirectoryRecord*>& records,
                                       const TReportPath& to) {
  // The record whose contents are most like the directory now at the new
  // path; of equals, the first.
  const TContents moved = DiskContents(reportFiles_, to.HostDirectory + to.HostName + '\\');
  TDirectoryRecord* best = records.front();
  TResemblance bestResemblance = Compare(RecordContents(*ddList_, best), moved);
  for (std::size_t i = 1; i < records.size(); ++i) {
    const TResemblance r = Compare(RecordContents(*ddList_, records[i]), moved);
    if (r.Beats(bestResemblance)) {
      best = records[i];
      bestResemblance = r;
    }
  }
  return best;
}

bool TMemoryDB::ReplaceTwins(const TReportPath& to, TDirectoryRecord* moved,
                             bool& placeAmongTwins) {
  placeAmongTwins = false;
  std::vector<TDirectoryRecord*> held;
  ddList_->DirectoriesNamed(to.Name, to.Directory, held);
  if (held.empty()) return true;
  // A record of the new name is the directory the rename replaced, or a
  // twin of the moved one; the disk's count tells how many were replaced.
  std::vector<TDirectoryRecord*> gone;
  std::size_t missing = 0;
  std::vector<std::string_view> others;
  const TDiskCensus* census = twins_.Fresh(reportFiles_, to.Directory, to.HostDirectory);
  if (census == nullptr) {
    gone.push_back(held.front());
  } else {
    others = census->Spellings(to.Name, true);
    const auto self = std::find(others.begin(), others.end(), to.HostName);
    if (self != others.end()) others.erase(self);
    if (held.size() > others.size()) {
      gone = GoneTwins(held, others, to.HostDirectory, held.size() - others.size());
    } else {
      missing = others.size() - held.size();
    }
  }
  for (const TDirectoryRecord* record : gone) {
    for (const TDirectoryRecord* p = moved; p != nullptr; p = p->Parent()) {
      if (p == record) return false;  // the moved one lies below it
    }
  }
  for (TDirectoryRecord* record : gone)
    RemoveDirectoryAndRows(record);
  AddDirectories(to.Directory, to.Name, missing);
  placeAmongTwins = true;
  twins_.Counted(to.Directory, to.Name,
                 static_cast<std::uint32_t>(held.size() - gone.size() + missing + 1));
  return true;
}

}  // namespace varnoke
