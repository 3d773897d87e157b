// The drive scan: rebuilding the whole tree from the fixed drives.
#include <cstring>
#include <deque>
#include <limits>

#include "db/allocation_estimate.h"
#include "db/memory_db.h"
#include "db/terminate.h"
#include "platform/upcase.h"

namespace varnoke {
namespace {

using platform::TDiskSpace;
using platform::TDriveType;

std::string DriveRoot(char letter) {
  return std::string{letter, ':', '\\'};
}

std::uint64_t UsedBytes(const TDiskSpace& space) {
  const std::uint64_t used = space.TotalNumberOfClusters > space.NumberOfFreeClusters
                                 ? space.TotalNumberOfClusters - space.NumberOfFreeClusters
                                 : 0;
  return used * space.SectorsPerCluster * space.BytesPerSector;
}

// Reading the size of every file costs a system call per file, more than
// the rest of the scan together. Where the drive counts its entries, each
// entry stands instead for the average space an entry takes there, less the
// cluster slack that the estimate adds back, so the bar moves evenly and
// ends near 100. -1 means: read the sizes.
std::int64_t AverageEntrySize(const TDiskSpace& space, std::int32_t cluster) {
  if (space.UsedEntries == 0) return -1;
  const std::uint64_t average = UsedBytes(space) / space.UsedEntries;
  const std::uint64_t slack = cluster > 0 ? static_cast<std::uint64_t>(cluster) - 1 : 0;
  const std::uint64_t size = average > slack ? average - slack : 0;
  return static_cast<std::int64_t>(
      std::min<std::uint64_t>(size, std::numeric_limits<std::int32_t>::max()));
}

// One directory being scanned: its listing and how far the scan has got.
// Names starting with "." are left out with everything below them ("." and
// ".." among them); a name with a "\" cannot be part of a path.
bool Stored(std::string_view name) {
  return !name.empty() && name.front() != '.' && name.find('\\') == std::string_view::npos;
}

struct TScanFrame {
  std::size_t pathLength;  // of the walk's path while this directory is listed
  TDirectoryRecord* directory;
  platform::TDirectoryListing listing;
  std::size_t next = 0;
};

// Marks the walk of a scan for its duration, however it ends.
class TScanFlag {
 public:
  explicit TScanFlag(bool& flag) noexcept : flag_(flag) { flag_ = true; }
  ~TScanFlag() { flag_ = false; }
  TScanFlag(const TScanFlag&) = delete;
  TScanFlag& operator=(const TScanFlag&) = delete;
  void Clear() noexcept { flag_ = false; }

 private:
  bool& flag_;
};

}  // namespace

float AllocationEstimate(std::int32_t size, std::int32_t cluster) {
  const float s = static_cast<float>(size);
  const float c = static_cast<float>(cluster);
  if (c == 0.0f) return s;  // no geometry yet: the size itself
  return ((s + c - 1.0f) / c) * c;
}

void TMemoryDB::ResetTree() {
  auto fresh = std::make_unique<TDDList>();
  ddList_ = std::move(fresh);
  ++treeGeneration_;
  twins_.Clear();
  ClearResults();
}

bool TMemoryDB::ScanDrives(const std::string& fileName, TScanObserver& observer) {
  {
    std::lock_guard guard(Lock);
    // A handler run from the observer while a scan walks the tree must not
    // free that tree under it.
    if (scanning_) return false;
    fileName_ = fileName;
  }
  ScanTotalKB = 1.0f;
  ScanDoneKB = 0.0f;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const std::string root = DriveRoot(letter);
    TDiskSpace space;
    if (drives_.GetDriveType(root) == TDriveType::Fixed && drives_.GetDiskFreeSpace(root, space)) {
      ScanTotalKB += static_cast<float>(UsedBytes(space)) * (1.0f / 1024.0f);
    }
  }

  std::unique_lock lock(Lock);
  savedByLastScan_ = false;
  TScanFlag walking(scanning_);
  ResetTree();
  int drivesListed = 0;
  for (char letter = 'A'; letter <= 'Z'; ++letter) {
    const std::string root = DriveRoot(letter);
    if (drives_.GetDriveType(root) != TDriveType::Fixed) continue;
    TDiskSpace space;
    scanEntrySize_ = -1;
    if (drives_.GetDiskFreeSpace(root, space)) {
      ScanClusterBytes = static_cast<std::int32_t>(space.BytesPerSector * space.SectorsPerCluster);
      scanEntrySize_ = AverageEntrySize(space, ScanClusterBytes);
    }
    TDirectoryRecord* record = ddList_->AddDirectory(root.substr(0, 2), nullptr);
    if (ScanDirectory(root, record, observer)) ++drivesListed;
  }
  treeFromEmptyScan_ = drivesListed == 0;
  ddList_->PrepareLookups();
  walking.Clear();
  lock.unlock();
  const bool saved = SaveToFile();
  lock.lock();
  savedByLastScan_ = saved;
  return true;
}

bool TMemoryDB::ScanDirectory(const std::string& path, TDirectoryRecord* directory,
                              TScanObserver& observer) {
  // The recursion of the walk runs on a stack of its own, so that a tree of
  // any depth fits; the order is that of a recursive walk: each directory's
  // record, then everything below it, then its next sibling.
  const bool withSizes = scanEntrySize_ < 0;
  std::deque<TScanFrame> stack;
  bool listed = true;
  // One path for the whole walk, grown and cut back with the stack: the
  // names as the disk spells them, each followed by "\".
  std::string walkPath = path;
  std::string upper;
  std::string fileNames;  // the upper-cased names of a directory's files, back to back
  std::vector<std::size_t> fileEnds;
  std::vector<std::string_view> fileViews;
  const auto enter = [&](TDirectoryRecord* record) {
    TScanFrame& frame = stack.emplace_back();
    frame.pathLength = walkPath.size();
    frame.directory = record;
    // A directory that cannot be listed adds nothing.
    return files_.ListDirectory(walkPath, withSizes, frame.listing);
  };
  // Once the walk has passed all of a directory's entries, its files go in
  // at once, in one block, as if added one by one in the listing's order.
  const auto addFiles = [&](const TScanFrame& frame) {
    fileNames.clear();
    fileEnds.clear();
    for (std::size_t i = 0; i < frame.listing.Size(); ++i) {
      const std::string_view name = frame.listing.Name(i);
      if ((frame.listing.At(i).Attributes & platform::kFileAttributeDirectory) == 0 &&
          Stored(name)) {
        platform::AppendUpperCase(name, fileNames);
        fileEnds.push_back(fileNames.size());
      }
    }
    fileViews.clear();
    for (std::size_t i = 0, begin = 0; i < fileEnds.size(); begin = fileEnds[i++])
      fileViews.emplace_back(fileNames.data() + begin, fileEnds[i] - begin);
    ddList_->AddFiles(fileViews, frame.directory);
  };
  listed = enter(directory);
  while (!stack.empty()) {
    TScanFrame& frame = stack.back();
    if (frame.next == frame.listing.Size()) {
      // Post-order: the position moves once a directory's subtree is done.
      observer.SetProgressPosition(static_cast<int>(ScanDoneKB / ScanTotalKB * 100.0f));
      addFiles(frame);
      stack.pop_back();
      if (!stack.empty()) walkPath.resize(stack.back().pathLength);
      continue;
    }
    const std::size_t index = frame.next++;
    observer.ProcessMessages();
    if (ScanCancelRequested.load(std::memory_order_relaxed)) throw ETerminate();

    const std::string_view name = frame.listing.Name(index);
    const platform::TDirectoryListing::Entry& entry = frame.listing.At(index);
    const bool isDirectory = (entry.Attributes & platform::kFileAttributeDirectory) != 0;
    std::int64_t size = entry.Size;
    if (!withSizes) size = (name == "." || name == "..") ? 0 : scanEntrySize_;
    size = std::min<std::int64_t>(size, std::numeric_limits<std::int32_t>::max());
    ScanDoneKB +=
        AllocationEstimate(static_cast<std::int32_t>(size), ScanClusterBytes) * (1.0f / 1024.0f);

    if (!isDirectory || !Stored(name)) continue;  // files go in with their directory's end
    upper.clear();
    platform::AppendUpperCase(name, upper);
    TDirectoryRecord* child = ddList_->AddDirectory(upper, frame.directory);
    walkPath.append(name).push_back('\\');
    enter(child);
  }
  return listed;
}

}  // namespace varnoke
