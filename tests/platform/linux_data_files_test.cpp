#include "platform/linux_data_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <dirent.h>
#include <fstream>

#include "tests/support/temp_dir.h"

namespace varnoke::platform {
namespace {

std::string Contents(const std::string& path) {
  TLinuxDataFiles files;
  TFileImage image;
  if (!files.ReadFile(path, image)) return "<unreadable>";
  return std::string(reinterpret_cast<const char*>(image.Data()), image.Size());
}

int EntriesIn(const std::string& folder) {
  int count = 0;
  DIR* dir = ::opendir(folder.c_str());
  for (dirent* e; (e = ::readdir(dir)) != nullptr;)
    count += e->d_name[0] != '.';
  ::closedir(dir);
  return count;
}

class LinuxDataFilesTest : public ::testing::Test {
 protected:
  testing::TTempDir temp;
  std::string path = temp.Path() + "/memdb.dat";
  TLinuxDataFiles files;
};

TEST_F(LinuxDataFilesTest, ReadsWholeFiles) {
  std::ofstream(path, std::ios::binary) << std::string("ab\0cd", 5);
  EXPECT_EQ(Contents(path), std::string("ab\0cd", 5));
  std::ofstream(path, std::ios::trunc);
  EXPECT_EQ(Contents(path), "");
  TFileImage image;
  EXPECT_FALSE(files.ReadFile(temp.Path() + "/missing", image));
  EXPECT_FALSE(files.ReadFile(temp.Path(), image));  // a folder
}

TEST_F(LinuxDataFilesTest, ACommittedFileReplacesTheOldOneAndADroppedOneLeavesNoTrace) {
  std::ofstream(path) << "old";
  {
    auto pending = files.BeginReplace(path);
    ASSERT_NE(pending, nullptr);
    ASSERT_TRUE(pending->Write("new "));
    ASSERT_TRUE(pending->Write("contents"));
    ASSERT_TRUE(pending->Flush());
    EXPECT_EQ(Contents(path), "old");  // not yet
    ASSERT_TRUE(pending->Commit());
  }
  EXPECT_EQ(Contents(path), "new contents");
  {
    auto pending = files.BeginReplace(path);
    ASSERT_TRUE(pending->Write("abandoned"));
  }
  EXPECT_EQ(Contents(path), "new contents");
  EXPECT_EQ(EntriesIn(temp.Path()), 2);  // memdb.dat and its lock file
}

TEST_F(LinuxDataFilesTest, APendingFileKeepsOtherWritersOut) {
  auto pending = files.BeginReplace(path);
  ASSERT_NE(pending, nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    const int lock = ::open((path + ".lock").c_str(), O_RDWR);
    ::_exit(::flock(lock, LOCK_EX | LOCK_NB) == 0 ? 1 : 0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(LinuxDataFilesTest, AFileThatMayNotBeWrittenCannotBeReplaced) {
  EXPECT_TRUE(files.CanReplace(path));  // missing: may be created
  EXPECT_FALSE(files.CanReplace(temp.Path()));
  std::ofstream(path) << "x";
  EXPECT_TRUE(files.CanReplace(path));
  ::chmod(path.c_str(), 0444);
  if (::geteuid() == 0) GTEST_SKIP() << "root may write any file";
  EXPECT_FALSE(files.CanReplace(path));
}

TEST_F(LinuxDataFilesTest, CannotStartANewVersionWhereNothingCanBeCreated) {
  std::ofstream(temp.Path() + "/plain") << "x";
  EXPECT_EQ(files.BeginReplace(temp.Path() + "/plain/memdb.dat"), nullptr);
}

}  // namespace
}  // namespace varnoke::platform
