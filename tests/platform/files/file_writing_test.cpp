#include "platform/files/file_writing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "tests/support/temp_dir.h"

namespace varnoke::platform {
namespace {

std::string ReplacedText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return in ? text.str() : "<missing>";
}

std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
  }
  return names;
}

// The descriptor flags of the open file whose path starts with prefix; -1
// when the process has no such file open.
int DescriptorFlagsOf(const std::string& prefix) {
  for (const std::string& fd : FolderNames("/proc/self/fd")) {
    char target[4096];
    const ssize_t n = ::readlink(("/proc/self/fd/" + fd).c_str(), target, sizeof target);
    if (n > 0 && std::string(target, static_cast<std::size_t>(n)).rfind(prefix, 0) == 0) {
      return ::fcntl(std::stoi(fd), F_GETFD);
    }
  }
  return -1;
}

class FileReplacementTest : public ::testing::Test {
 protected:
  std::string File() const { return folder_.Path() + "/settings.txt"; }
  void WriteOld() { std::ofstream(File()) << "old"; }

  testing::TTempDir folder_;
};

TEST_F(FileReplacementTest, CommitPutsTheWholeNewVersionInPlaceAndLeavesNothingElse) {
  WriteOld();
  {
    TFileReplacement replacement(File(), 0644);
    ASSERT_TRUE(replacement.Valid());
    // Until the commit, readers see the old file, and no program started
    // meanwhile inherits the new one.
    ASSERT_TRUE(replacement.Write("new "));
    ASSERT_TRUE(replacement.Write("version"));
    EXPECT_EQ(ReplacedText(File()), "old");
    const int flags = DescriptorFlagsOf(File() + ".");
    ASSERT_NE(flags, -1);
    EXPECT_TRUE(flags & FD_CLOEXEC);
    ASSERT_TRUE(replacement.Commit());
  }
  EXPECT_EQ(ReplacedText(File()), "new version");
  EXPECT_EQ(FolderNames(folder_.Path()), std::vector<std::string>{"settings.txt"});
  struct stat st {};
  ASSERT_EQ(::stat(File().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST_F(FileReplacementTest, DroppedUncommittedTheOldFileStandsAndTheTemporaryIsGone) {
  WriteOld();
  {
    TFileReplacement replacement(File());
    ASSERT_TRUE(replacement.Write("half a"));
    ASSERT_TRUE(replacement.Flush());
  }
  EXPECT_EQ(ReplacedText(File()), "old");
  EXPECT_EQ(FolderNames(folder_.Path()), std::vector<std::string>{"settings.txt"});
}

TEST_F(FileReplacementTest, SaysWhichStepFailedAndWhy) {
  TFileReplacement nowhere(folder_.Path() + "/missing/settings.txt");
  EXPECT_FALSE(nowhere.Valid());
  EXPECT_FALSE(nowhere.Write("text"));
  EXPECT_FALSE(nowhere.Commit());
  EXPECT_EQ(nowhere.FailedStep(), "create");
  EXPECT_EQ(nowhere.Error(), ENOENT);

  // A folder stands where the file should go: the rename fails, and the
  // temporary does not stay behind.
  ASSERT_EQ(::mkdir(File().c_str(), 0700), 0);
  ASSERT_EQ(::mkdir((File() + "/inside").c_str(), 0700), 0);
  {
    TFileReplacement replacement(File());
    ASSERT_TRUE(replacement.Write("text"));
    EXPECT_FALSE(replacement.Commit());
    EXPECT_EQ(replacement.FailedStep(), "rename");
    EXPECT_NE(replacement.FailedPath().find(" to " + File()), std::string::npos);
  }
  EXPECT_EQ(FolderNames(folder_.Path()), std::vector<std::string>{"settings.txt"});
}

}  // namespace
}  // namespace varnoke::platform
