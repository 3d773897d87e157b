#include "platform/hive/hive_file.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/drives/hive_drive_overrides.h"
#include "tests/support/temp_dir.h"

namespace varnoke::platform {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class HiveFileTest : public ::testing::Test {
 protected:
  TModifyResult Set(const std::string& key, const std::string& name, std::uint32_t value) {
    std::string problem;
    return hive.Modify(
        [&](THiveContents& contents) {
          contents.FindOrAdd(key).Set(name, kRegDword, DwordData(value));
          return true;
        },
        problem);
  }

  testing::TTempDir temp;
  std::string path = temp.Path() + "/config/varnoke/registry.reg";
  THiveFile hive{path};
};

TEST_F(HiveFileTest, AMissingFileIsAnEmptyHive) {
  const THiveRead read = hive.Read();
  EXPECT_TRUE(read.Readable);
  EXPECT_TRUE(read.Contents.Keys.empty());
}

TEST_F(HiveFileTest, WritesCreateTheFileAndItsFoldersAndReadsSeeThem) {
  ASSERT_EQ(Set("HKEY_CLASSES_ROOT\\Varnoke\\Settings", "ShowSplash", 1), TModifyResult::Written);
  EXPECT_EQ(Slurp(path),
            "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Varnoke\\Settings]\n\"ShowSplash\"=dword:00000001\n");
  const THiveRead read = hive.Read();
  ASSERT_TRUE(read.Readable);
  EXPECT_EQ(read.Contents.Find("hkey_classes_root\\varnoke\\settings")->Find("showsplash")->Data,
            DwordData(1));
}

TEST_F(HiveFileTest, SeesChangesMadeBehindItsBack) {
  Set("K", "A", 1);
  EXPECT_EQ(hive.Read().Contents.Find("K")->Find("A")->Data, DwordData(1));
  // Another program rewrites the file in place, same size.
  std::ofstream(path, std::ios::trunc) << "REGEDIT4\n\n[K]\n\"A\"=dword:00000002\n";
  EXPECT_EQ(hive.Read().Contents.Find("K")->Find("A")->Data, DwordData(2));
  THiveFile other(path);
  Set("K", "A", 3);
  EXPECT_EQ(other.Read().Contents.Find("K")->Find("A")->Data, DwordData(3));
}

TEST_F(HiveFileTest, NeverOverwritesAHiveItCannotParse) {
  Set("K", "A", 1);
  const std::string broken = "REGEDIT4\n\n[K]\n\"A\"=dword:zz\n";
  std::ofstream(path, std::ios::trunc) << broken;
  const THiveRead read = hive.Read();
  EXPECT_FALSE(read.Readable);
  EXPECT_EQ(read.Problem, "The settings file " + path +
                              " cannot be read: line 4: a dword needs 1 to 8 hexadecimal digits.");
  std::string problem;
  EXPECT_EQ(hive.Modify([](THiveContents&) { return true; }, problem), TModifyResult::Unreadable);
  EXPECT_EQ(problem, read.Problem);
  EXPECT_EQ(Slurp(path), broken);
}

TEST_F(HiveFileTest, ReportsAHiveThatCannotBeWritten) {
  // A plain file where the hive's folder should be: not even root can
  // write there.
  std::ofstream(temp.Path() + "/blocker") << "x";
  THiveFile blocked(temp.Path() + "/blocker/registry.reg");
  std::string problem;
  EXPECT_EQ(blocked.Modify([](THiveContents& c) { return c.FindOrAdd("K"), true; }, problem),
            TModifyResult::Unwritable);
  EXPECT_NE(problem.find("could not be written"), std::string::npos) << problem;
}

TEST_F(HiveFileTest, RefusesAFifoAndAnOversizedFileWithoutHangingOrFillingMemory) {
  ASSERT_EQ(Set("HKEY_CLASSES_ROOT\\Varnoke\\Settings", "ShowSplash", 1), TModifyResult::Written);
  ::unlink(path.c_str());
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  THiveRead read = hive.Read();
  EXPECT_FALSE(read.Readable);
  EXPECT_NE(read.Problem.find("not a regular file"), std::string::npos) << read.Problem;
  std::string problem;
  EXPECT_EQ(hive.Modify([](THiveContents&) { return true; }, problem), TModifyResult::Unreadable);

  ::unlink(path.c_str());
  std::ofstream(path) << "REGEDIT4\n";
  ASSERT_EQ(::truncate(path.c_str(), std::int64_t{1} << 30), 0);
  read = hive.Read();
  EXPECT_FALSE(read.Readable);
  EXPECT_NE(read.Problem.find("larger than any settings file"), std::string::npos);
}

TEST_F(HiveFileTest, AWriteRemovesTheTemporaryFilesOfKilledWrites) {
  ASSERT_EQ(Set("HKEY_CLASSES_ROOT\\Varnoke\\Settings", "ShowSplash", 1), TModifyResult::Written);
  std::ofstream(path + ".Xy12Ab") << "REGEDIT4\n";
  std::ofstream(path + ".backup") << "REGEDIT4\n";
  ASSERT_EQ(Set("HKEY_CLASSES_ROOT\\Varnoke\\Settings", "ShowSplash", 0), TModifyResult::Written);
  EXPECT_NE(::access((path + ".Xy12Ab").c_str(), F_OK), 0);
  EXPECT_EQ(::access((path + ".backup").c_str(), F_OK), 0);
}

TEST_F(HiveFileTest, ADeclinedEditWritesNothing) {
  std::string problem;
  EXPECT_EQ(hive.Modify([](THiveContents&) { return false; }, problem), TModifyResult::Declined);
  EXPECT_NE(::access(path.c_str(), F_OK), 0);
}

// Writers in several processes at once: the lock lets each of them read
// the other's last change, so no increment is lost.
TEST_F(HiveFileTest, ConcurrentWritersLoseNothing) {
  Set("K", "Counter", 0);
  constexpr int kProcesses = 4;
  constexpr int kIncrements = 25;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t child = ::fork();
    if (child == 0) {
      THiveFile mine(path);
      for (int i = 0; i < kIncrements; ++i) {
        std::string problem;
        mine.Modify(
            [](THiveContents& contents) {
              TRegValue* value = contents.FindOrAdd("K").Find("Counter");
              const std::uint32_t n = value->Data[0] | value->Data[1] << 8;
              value->Data = DwordData(n + 1);
              return true;
            },
            problem);
      }
      ::_exit(0);
    }
    children.push_back(child);
  }
  for (const pid_t child : children)
    ::waitpid(child, nullptr, 0);
  EXPECT_EQ(hive.Read().Contents.Find("K")->Find("Counter")->Data,
            DwordData(kProcesses * kIncrements));
}

TEST_F(HiveFileTest, DriveTypeOverridesComeFromTheHive) {
  THiveDriveTypeOverrides overrides(hive);
  EXPECT_EQ(overrides.Lookup('C'), std::nullopt);
  std::string problem;
  hive.Modify(
      [](THiveContents& contents) {
        TRegKey& key = contents.FindOrAdd("HKEY_LOCAL_MACHINE\\Software\\Varnoke\\Drives");
        key.Set("c:", kRegSz, StringData("CDROM"));
        key.Set("D:", kRegSz, StringData("removable"));
        key.Set("e:", kRegSz, StringData("floppy"));
        key.Set("f:", kRegDword, DwordData(3));
        return true;
      },
      problem);
  EXPECT_EQ(overrides.Lookup('C'), TDriveType::CdRom);
  EXPECT_EQ(overrides.Lookup('D'), TDriveType::Removable);
  EXPECT_EQ(overrides.Lookup('E'), std::nullopt);
  EXPECT_EQ(overrides.Lookup('F'), std::nullopt);
  std::ofstream(path, std::ios::trunc) << "not a hive";
  EXPECT_EQ(overrides.Lookup('C'), std::nullopt);
}

// The hive as the overrides see it, counting how often it is read.
class TCountingRegistry : public TRegistry {
 public:
  explicit TCountingRegistry(TRegistry& inner) : inner_(inner) {}
  THiveRead Read() const override {
    ++reads;
    return inner_.Read();
  }
  std::optional<std::uint64_t> Stamp() const override { return inner_.Stamp(); }
  TModifyResult Modify(const std::function<bool(THiveContents&)>& edit,
                       std::string& problem) override {
    return inner_.Modify(edit, problem);
  }
  mutable int reads = 0;

 private:
  TRegistry& inner_;
};

// A type is asked for with every change report: the hive is read again
// only once it changed, by the program or by hand.
TEST_F(HiveFileTest, DriveTypeOverridesAreReadAgainOnlyWhenTheHiveChanges) {
  TCountingRegistry counting(hive);
  THiveDriveTypeOverrides overrides(counting);
  const auto set = [&](const char* type) {
    std::string problem;
    counting.Modify(
        [&](THiveContents& contents) {
          contents.FindOrAdd("HKEY_LOCAL_MACHINE\\Software\\Varnoke\\Drives")
              .Set("c:", kRegSz, StringData(type));
          return true;
        },
        problem);
  };
  for (int i = 0; i < 1000; ++i)
    EXPECT_EQ(overrides.Lookup('C'), std::nullopt);  // no hive yet
  set("fixed");
  for (int i = 0; i < 1000; ++i)
    EXPECT_EQ(overrides.Lookup('C'), TDriveType::Fixed);
  const int reads = counting.reads;
  EXPECT_LE(reads, 4);
  set("remote");
  EXPECT_EQ(overrides.Lookup('C'), TDriveType::Remote);
  std::ofstream(path, std::ios::trunc)
      << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Varnoke\\Drives]\n\"c:\"=\"ramdisk\"\n";
  EXPECT_EQ(overrides.Lookup('C'), TDriveType::RamDisk);  // edited by hand
  EXPECT_EQ(overrides.Lookup('Z'), std::nullopt);
  EXPECT_EQ(overrides.Lookup('1'), std::nullopt);
}

}  // namespace
}  // namespace varnoke::platform
