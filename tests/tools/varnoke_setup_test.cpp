// varnoke-setup end to end: the real program with a settings folder and a
// data folder of its own.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <fstream>

#include "platform/hive/hive_file.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace varnoke {
namespace {

std::string LinkTarget(const std::string& path) {
  std::array<char, PATH_MAX> target{};
  const ssize_t n = ::readlink(path.c_str(), target.data(), target.size() - 1);
  return n < 0 ? std::string() : std::string(target.data(), static_cast<std::size_t>(n));
}

class VarnokeSetupTest : public ::testing::Test {
 protected:
  VarnokeSetupTest() { ::mkdir((temp.Path() + "/scratch").c_str(), 0755); }

  testing::TProcessResult Setup(const std::vector<std::string>& args = {}) {
    return testing::RunProcess(
        VARNOKE_SETUP_BINARY, args,
        {"XDG_CONFIG_HOME=" + temp.Path() + "/config", "XDG_DATA_HOME=" + temp.Path() + "/data"},
        temp.Path() + "/scratch");
  }

  std::string Installed() const { return temp.Path() + "/data/varnoke"; }
  // Where the program's own files are: beside and below the setup binary.
  static std::string Bin() {
    const std::string setup = VARNOKE_SETUP_BINARY;
    return setup.substr(0, setup.rfind('/'));
  }
  static std::string Prefix() { return Bin().substr(0, Bin().rfind('/')); }

  // The bytes of a setting; empty when it is missing or the hive unreadable.
  std::vector<std::uint8_t> Setting(const std::string& name) {
    platform::THiveFile hive(temp.Path() + "/config/varnoke/registry.reg");
    const platform::THiveRead read = hive.Read();
    if (!read.Readable) return {};
    const platform::TRegKey* key = read.Contents.Find("HKEY_CLASSES_ROOT\\Varnoke\\Settings");
    const platform::TRegValue* value = key == nullptr ? nullptr : key->Find(name);
    return value == nullptr ? std::vector<std::uint8_t>{} : value->Data;
  }

  std::string DirectorySetting() {
    const std::vector<std::uint8_t> data = Setting("Directory");
    if (data.empty()) return "-";
    return std::string(data.begin(), data.end() - 1);
  }

  testing::TTempDir temp;
};

TEST_F(VarnokeSetupTest, LinksTheInstallationFolderToTheProgramsFiles) {
  const testing::TProcessResult first = Setup();
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(DirectorySetting(), Installed());
  EXPECT_EQ(LinkTarget(Installed() + "/mhook.dll"), Prefix() + "/lib/varnoke/mhook.dll");
  EXPECT_EQ(LinkTarget(Installed() + "/varnoke"), Bin() + "/varnoke");
  EXPECT_EQ(LinkTarget(Installed() + "/vk96.html"), Prefix() + "/share/varnoke/vk96.html");
  EXPECT_EQ(LinkTarget(temp.Path() + "/config/varnoke/dosdevices/c:"), "/");
  // The window shows Linux paths and searches as the user types.
  EXPECT_EQ(Setting("DrivePaths"), platform::DwordData(0));
  EXPECT_EQ(Setting("SearchAsYouType"), platform::DwordData(1));

  // A second run finds everything in place and says nothing was made.
  const testing::TProcessResult second = Setup();
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(second.out.find("linked"), std::string::npos) << second.out;
  EXPECT_EQ(second.out.find("set "), std::string::npos) << second.out;
}

TEST_F(VarnokeSetupTest, ReplacesOnlyLinksThatPointNowhere) {
  ASSERT_EQ(::mkdir((temp.Path() + "/data").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(Installed().c_str(), 0755), 0);
  const std::string elsewhere = temp.Path() + "/other-hook";
  std::ofstream(elsewhere) << "hook";
  ASSERT_EQ(::symlink(elsewhere.c_str(), (Installed() + "/mhook.dll").c_str()), 0);
  ASSERT_EQ(::symlink("/nowhere/varnoke", (Installed() + "/varnoke").c_str()), 0);
  std::ofstream(Installed() + "/vk96.html") << "my own notes";

  const testing::TProcessResult result = Setup();
  // The plain file is not the program's: kept, and the run says it failed.
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("vk96.html is not a link"), std::string::npos) << result.err;
  EXPECT_EQ(testing::ReadWhole(Installed() + "/vk96.html"), "my own notes");
  EXPECT_EQ(LinkTarget(Installed() + "/mhook.dll"), elsewhere);
  EXPECT_EQ(LinkTarget(Installed() + "/varnoke"), Bin() + "/varnoke");
  EXPECT_NE(result.out.find("relinked " + Installed() + "/varnoke"), std::string::npos)
      << result.out;
}

TEST_F(VarnokeSetupTest, LinksGoWhereTheSettingsSayTheProgramIsInstalled) {
  const std::string chosen = temp.Path() + "/chosen folder";
  ASSERT_EQ(Setup({"--directory", chosen}).status, 0);
  // A later run with another folder changes neither the setting nor the links.
  const testing::TProcessResult again = Setup({"--directory", temp.Path() + "/ignored"});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(DirectorySetting(), chosen);
  EXPECT_EQ(LinkTarget(chosen + "/varnoke"), Bin() + "/varnoke");
  EXPECT_EQ(LinkTarget(temp.Path() + "/ignored/varnoke"), "");
}

}  // namespace
}  // namespace varnoke
