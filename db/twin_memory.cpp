#include "db/twin_memory.h"

#include <algorithm>

namespace varnoke {

TTwinMemory::TKept* TTwinMemory::Find(const TDirectoryRecord* directory,
                                      std::string_view hostDirectory) {
  // The path guards against a freed record's address coming back for
  // another directory.
  for (auto it = kept_.begin(); it != kept_.end(); ++it) {
    if (it->directory == directory && it->hostDirectory == hostDirectory) {
      kept_.splice(kept_.begin(), kept_, it);
      return &kept_.front();
    }
  }
  return nullptr;
}

const TDiskCensus* TTwinMemory::Take(platform::TFileSystem& files,
                                     const TDirectoryRecord* directory,
                                     std::string_view hostDirectory) {
  TKept* kept = Find(directory, hostDirectory);
  if (kept == nullptr) {
    if (kept_.size() >= kCensusesKept) {
      kept_.splice(kept_.begin(), kept_, std::prev(kept_.end()));  // reuse the oldest
    } else {
      kept_.emplace_front();
    }
    kept = &kept_.front();
    kept->directory = directory;
    kept->hostDirectory = std::string(hostDirectory);
  }
  kept->report = report_;
  if (!kept->census.Take(files, hostDirectory)) {
    kept_.pop_front();  // a failure is not kept: the next report tries again
    return nullptr;
  }
  return &kept->census;
}

const TDiskCensus* TTwinMemory::Fresh(platform::TFileSystem& files,
                                      const TDirectoryRecord* directory,
                                      std::string_view hostDirectory) {
  if (TKept* kept = Find(directory, hostDirectory); kept != nullptr && kept->report == report_) {
    return &kept->census;
  }
  return Take(files, directory, hostDirectory);
}

const TDiskCensus* TTwinMemory::Recent(platform::TFileSystem& files,
                                       const TDirectoryRecord* directory,
                                       std::string_view hostDirectory, std::string_view spelling,
                                       bool isDirectory) {
  // An entry made after the census was taken is not in it, so the census is
  // taken again; one that was in it and has gone since was reported gone,
  // which compared with the disk or left no entry of the name to compare.
  if (TKept* kept = Find(directory, hostDirectory);
      kept != nullptr && kept->census.Holds(spelling, isDirectory)) {
    return &kept->census;
  }
  return Take(files, directory, hostDirectory);
}

void TTwinMemory::Renamed(std::string_view newPath) {
  renamedTo_.assign(newPath);
  renamedIn_ = report_;
}

bool TTwinMemory::Doubts(const TDirectoryRecord* directory, std::string_view name) const {
  if (!listed_.empty() && listed_.count(directory) != 0) return true;
  if (doubted_.empty()) return false;
  const auto it = doubted_.find(directory);
  if (it == doubted_.end()) return false;
  return std::find(it->second.begin(), it->second.end(), name) != it->second.end();
}

void TTwinMemory::Doubt(const TDirectoryRecord* directory, std::string_view name) {
  if (!Doubts(directory, name)) doubted_[directory].emplace_back(name);
}

void TTwinMemory::Listed(TDirectoryRecord* directory, std::string_view label,
                         std::vector<TShortName> short_) {
  std::string key(label);
  if (const auto it = listed_.find(directory); it != listed_.end()) {
    listedByLabel_.erase(it->second);
    it->second = key;
  } else {
    listed_.emplace(directory, key);
  }
  // Another record listed at the label before is no longer there.
  if (const auto it = listedByLabel_.find(key); it != listedByLabel_.end()) {
    listed_.erase(it->second.Directory);
    listedByLabel_.erase(it);
  }
  listedByLabel_.emplace(std::move(key), TListed{directory, std::move(short_)});
}

TDirectoryRecord* TTwinMemory::Settle(std::string_view label, std::vector<TShortName>& short_) {
  const auto it = listedByLabel_.find(std::string(label));
  if (it == listedByLabel_.end()) return nullptr;
  TDirectoryRecord* directory = it->second.Directory;
  short_ = std::move(it->second.Short);
  listed_.erase(directory);
  listedByLabel_.erase(it);
  return directory;
}

void TTwinMemory::SettledAll() noexcept {
  listed_.clear();
  listedByLabel_.clear();
}

void TTwinMemory::Counted(const TDirectoryRecord* directory, std::string_view name,
                          std::uint32_t onDisk) {
  if (onDisk > 0) {
    Doubt(directory, name);
    return;
  }
  // With the name gone from both, the tree can only lag behind the disk
  // from here on, never run ahead of it: later reports cannot count twice.
  const auto it = doubted_.find(directory);
  if (it == doubted_.end()) return;
  std::erase(it->second, name);
  if (it->second.empty()) doubted_.erase(it);
}

void TTwinMemory::Forget(const std::vector<TDirectoryRecord*>& records) {
  if (doubted_.empty() && kept_.empty() && listed_.empty()) return;
  for (const TDirectoryRecord* record : records) {
    doubted_.erase(record);
    if (const auto it = listed_.find(record); it != listed_.end()) {
      listedByLabel_.erase(it->second);
      listed_.erase(it);
    }
    kept_.remove_if([&](const TKept& kept) { return kept.directory == record; });
  }
}

void TTwinMemory::Clear() {
  kept_.clear();
  doubted_.clear();
  SettledAll();
  renamedTo_.clear();
}

}  // namespace varnoke
