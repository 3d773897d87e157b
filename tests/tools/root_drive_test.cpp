#include "tools/varnoke-setup/root_drive.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/drives/hive_drive_overrides.h"
#include "platform/hive/hive_file.h"
#include "tests/support/temp_dir.h"

namespace varnoke::setup {
namespace {

using platform::TDriveType;

class RootDriveTest : public ::testing::Test {
 protected:
  std::string Declare(const std::string& target, TDriveType type) {
    problem.clear();
    return DeclareRootFixed(hive, target, type, problem);
  }
  std::optional<TDriveType> Override() const {
    return platform::THiveDriveTypeOverrides(hive).Lookup('C');
  }

  testing::TTempDir temp;
  platform::THiveFile hive{temp.Path() + "/settings.reg"};
  std::string problem;
};

// A container's or a chroot's root: the scan would find no fixed drive.
TEST_F(RootDriveTest, DeclaresARootThatIsNoDiskFixedOnceAndSaysSo) {
  for (const TDriveType type : {TDriveType::Unknown, TDriveType::RamDisk, TDriveType::Remote}) {
    testing::TTempDir other;
    platform::THiveFile fresh(other.Path() + "/settings.reg");
    std::string why;
    const std::string said = DeclareRootFixed(fresh, "/", type, why);
    EXPECT_NE(said.find("declared drive C: fixed"), std::string::npos) << said;
    EXPECT_TRUE(why.empty());
    EXPECT_EQ(platform::THiveDriveTypeOverrides(fresh).Lookup('C'), TDriveType::Fixed);
  }
  EXPECT_FALSE(Declare("/", TDriveType::Unknown).empty());
  EXPECT_TRUE(Declare("/", TDriveType::Unknown).empty());  // there already
  EXPECT_EQ(Override(), TDriveType::Fixed);
}

TEST_F(RootDriveTest, LeavesADiskRootAnotherTargetAndAnOverrideOfTheUsersAlone) {
  EXPECT_TRUE(Declare("/", TDriveType::Fixed).empty());
  EXPECT_TRUE(Declare("/home", TDriveType::Unknown).empty());
  EXPECT_EQ(Override(), std::nullopt);
  std::ofstream(temp.Path() + "/settings.reg")
      << "REGEDIT4\n\n[" << platform::kDrivesKey << "]\n\"C:\"=\"removable\"\n";
  EXPECT_TRUE(Declare("/", TDriveType::Unknown).empty());
  EXPECT_EQ(Override(), TDriveType::Removable);
}

TEST_F(RootDriveTest, ASettingsFileThatCannotBeParsedIsReportedAndKept) {
  std::ofstream(temp.Path() + "/settings.reg") << "not a hive\n";
  EXPECT_TRUE(Declare("/", TDriveType::Unknown).empty());
  EXPECT_FALSE(problem.empty());
  std::ifstream in(temp.Path() + "/settings.reg");
  std::string first;
  std::getline(in, first);
  EXPECT_EQ(first, "not a hive");
}

}  // namespace
}  // namespace varnoke::setup
