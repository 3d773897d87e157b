#include "platform/files/host_path_cache.h"

#include <dirent.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/temp_drive.h"

namespace varnoke::platform {
namespace {

constexpr std::uint32_t kSole = THostPathCache::kSoleName;

// The names of a directory's entries in the order the disk lists them,
// which the scan follows too.
std::vector<std::string> Listed(const std::string& folder) {
  std::vector<std::string> names;
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  return names;
}

class HostPathCacheTest : public ::testing::Test {
 protected:
  testing::TTempDrive drive;
  THostPathCache cache{drive.Drives()};
};

TEST_F(HostPathCacheTest, PathsWithoutTwinsTakeTheDisksSpelling) {
  drive.MakeFile("Program Files/App/MiXed.TxT");
  EXPECT_EQ(cache.HostPath("C:\\PROGRAM FILES\\APP\\MIXED.TXT"),
            drive.Host("Program Files/App/MiXed.TxT"));
  EXPECT_EQ(cache.HostPath("C:\\PROGRAM FILES\\APP\\MIXED.TXT", {kSole, kSole, kSole}, false),
            drive.Host("Program Files/App/MiXed.TxT"));
  EXPECT_EQ(cache.HostPath("C:\\PROGRAM FILES\\NEW.TXT"), drive.Host("Program Files/NEW.TXT"));
  EXPECT_EQ(cache.HostPath("C:\\"), drive.Root());
  EXPECT_EQ(cache.HostPath("Q:\\X"), "");
}

TEST_F(HostPathCacheTest, FileTwinsResolveByTheirPlaceInTheListing) {
  drive.MakeFile("a.txt");
  drive.MakeFile("A.TXT");
  drive.MakeFile("A.txt");
  const std::vector<std::string> listed = Listed(drive.Root());
  ASSERT_EQ(listed.size(), 3u);
  for (std::uint32_t k = 0; k < 3; ++k) {
    EXPECT_EQ(cache.HostPath("C:\\A.TXT", {k}, false), drive.Host(listed[k])) << k;
  }
  // Files gone since the scan: the ordinal is beyond the listing.
  EXPECT_EQ(cache.HostPath("C:\\A.TXT", {3}, false), drive.Host("A.TXT"));
}

TEST_F(HostPathCacheTest, DirectoryTwinsLeadToTheirOwnContents) {
  drive.MakeFile("case/D/upper.txt");
  drive.MakeFile("case/d/lower.txt");
  drive.MakeFile("case/D/same.txt");
  drive.MakeFile("case/d/same.txt");
  const std::vector<std::string> listed = Listed(drive.Host("case"));
  ASSERT_EQ(listed.size(), 2u);
  const std::uint32_t lower = listed[0] == "d" ? 0 : 1;
  const std::uint32_t upper = 1 - lower;
  // Asked in turns, so that a directory resolved once cannot stand in for
  // its twin.
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(cache.HostPath("C:\\CASE\\D\\SAME.TXT", {kSole, lower, kSole}, false),
              drive.Host("case/d/same.txt"));
    EXPECT_EQ(cache.HostPath("C:\\CASE\\D\\SAME.TXT", {kSole, upper, kSole}, false),
              drive.Host("case/D/same.txt"));
    EXPECT_EQ(cache.HostPath("C:\\CASE\\D\\LOWER.TXT", {kSole, lower, kSole}, false),
              drive.Host("case/d/lower.txt"));
    EXPECT_EQ(cache.HostPath("C:\\CASE\\D", {kSole, upper}, true), drive.Host("case/D"));
  }
}

TEST_F(HostPathCacheTest, AFolderAndAFileOfOneNameAreToldApartByKind) {
  drive.MakeFile("Docs/inside.txt");
  drive.MakeFile("DOCS");
  EXPECT_EQ(cache.HostPath("C:\\DOCS\\INSIDE.TXT", {0, kSole}, false),
            drive.Host("Docs/inside.txt"));
  EXPECT_EQ(cache.HostPath("C:\\DOCS", {0}, false), drive.Host("DOCS"));
  EXPECT_EQ(cache.HostPath("C:\\DOCS", {0}, true), drive.Host("Docs"));
}

}  // namespace
}  // namespace varnoke::platform
