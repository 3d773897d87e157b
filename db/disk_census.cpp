#include "db/disk_census.h"

#include <algorithm>

#include "platform/upcase.h"

namespace varnoke {

bool TDiskCensus::Take(platform::TFileSystem& files, std::string_view hostDirectory) {
  const bool listed = files.ListDirectoryAfresh(hostDirectory, listing_);
  if (!listed) listing_.Clear();
  Index();
  return listed;
}

void TDiskCensus::Take(const platform::TDirectoryListing& listing) {
  listing_ = listing;
  Index();
}

void TDiskCensus::Index() {
  byName_.clear();
  upper_.clear();
  // All names first, then the views: upper_ must not move under them.
  std::vector<std::pair<std::size_t, std::uint32_t>> starts;
  for (std::size_t i = 0; i < listing_.Size(); ++i) {
    const std::string_view name = listing_.Name(i);
    if (name.empty() || name.front() == '.' || name.find('\\') != std::string_view::npos) continue;
    starts.emplace_back(upper_.size(), static_cast<std::uint32_t>(i));
    platform::AppendUpperCase(name, upper_);
  }
  byName_.reserve(starts.size());
  for (std::size_t k = 0; k < starts.size(); ++k) {
    const std::size_t end = k + 1 < starts.size() ? starts[k + 1].first : upper_.size();
    byName_.emplace(std::string_view(upper_).substr(starts[k].first, end - starts[k].first),
                    starts[k].second);
  }
}

std::vector<std::uint32_t> TDiskCensus::EntriesNamed(std::string_view upperName) const {
  std::vector<std::uint32_t> entries;
  const auto [begin, end] = byName_.equal_range(upperName);
  for (auto it = begin; it != end; ++it)
    entries.push_back(it->second);
  std::sort(entries.begin(), entries.end());
  return entries;
}

std::uint32_t TDiskCensus::Count(std::string_view upperName, bool directories) const {
  std::uint32_t count = 0;
  const auto [begin, end] = byName_.equal_range(upperName);
  for (auto it = begin; it != end; ++it) {
    if (IsDirectory(it->second) == directories) ++count;
  }
  return count;
}

std::vector<std::string_view> TDiskCensus::Spellings(std::string_view upperName,
                                                     bool directories) const {
  std::vector<std::string_view> spellings;
  for (const std::uint32_t entry : EntriesNamed(upperName)) {
    if (IsDirectory(entry) == directories) spellings.push_back(listing_.Name(entry));
  }
  return spellings;
}

bool TDiskCensus::Holds(std::string_view spelling, bool directory) const {
  const auto [begin, end] = byName_.equal_range(platform::UpperCase(spelling));
  for (auto it = begin; it != end; ++it) {
    if (IsDirectory(it->second) == directory && listing_.Name(it->second) == spelling) return true;
  }
  return false;
}

std::vector<std::string> TDiskCensus::KindedNames() const {
  std::vector<std::string> names;
  names.reserve(byName_.size());
  for (const auto& [upper, entry] : byName_)
    names.push_back((IsDirectory(entry) ? "D" : "F") + std::string(upper));
  return names;
}

}  // namespace varnoke
