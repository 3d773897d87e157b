#include "platform/files/linux_data_files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <dirent.h>
#include <fstream>

#include "platform/unique_fd.h"
#include "tests/support/temp_dir.h"

namespace varnoke::platform {
namespace {

std::string Contents(const std::string& path) {
  TLinuxDataFiles files;
  TFileImage image;
  TFileError error;
  if (!files.ReadFile(path, image, error, nullptr)) return "<unreadable>";
  return std::string(reinterpret_cast<const char*>(image.Data()), image.Size());
}

// Refuses a file as soon as more than limit bytes of it were read.
class TLimitCheck : public TReadCheck {
 public:
  explicit TLimitCheck(std::size_t limit) : limit_(limit) {}
  bool Plausible(const std::uint8_t*, std::size_t size, std::string& detail) override {
    largest = size;
    if (size <= limit_) return true;
    detail = "too long";
    return false;
  }
  std::size_t largest = 0;

 private:
  std::size_t limit_;
};

// Whether another process could take the lock on path now, shared or
// exclusive, without waiting.
bool OtherProcessCanLock(const std::string& path, int operation) {
  const pid_t child = ::fork();
  if (child == 0) {
    const int lock = ::open(path.c_str(), O_RDONLY);
    ::_exit(lock >= 0 && ::flock(lock, operation | LOCK_NB) == 0 ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
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
  TFileError error;
  EXPECT_FALSE(files.ReadFile(temp.Path() + "/missing", image, error, nullptr));
  EXPECT_TRUE(error.Missing());
  EXPECT_EQ(error.Describe(), "cannot open " + temp.Path() + "/missing: No such file or directory");
  EXPECT_FALSE(files.ReadFile(temp.Path(), image, error, nullptr));  // a folder
  EXPECT_FALSE(error.Missing());
  EXPECT_EQ(error.Describe(), "cannot read " + temp.Path() + ": it is not a regular file");
}

TEST_F(LinuxDataFilesTest, RefusesAFifoWithoutWaitingForAWriter) {
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  TFileImage image;
  TFileError error;
  EXPECT_FALSE(files.ReadFile(path, image, error, nullptr));
  EXPECT_EQ(error.Detail, "it is not a regular file");
  EXPECT_FALSE(files.CanReplace(path, error));
  EXPECT_EQ(error.Detail, "it is not a regular file");
}

TEST_F(LinuxDataFilesTest, ACheckStopsTheReadOfAHugeFileEarly) {
  // 3 GB of hole: reading it whole would take seconds and gigabytes.
  {
    TUniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT, 0600));
    ASSERT_EQ(::ftruncate(fd.Get(), std::int64_t{3} << 30), 0);
  }
  TLimitCheck check(4);
  TFileImage image;
  TFileError error;
  EXPECT_FALSE(files.ReadFile(path, image, error, &check));
  EXPECT_EQ(error.Describe(), "cannot read " + path + ": too long");
  EXPECT_LE(check.largest, std::size_t{64} << 20);
  EXPECT_EQ(image.Size(), 0u);
  std::ofstream(path, std::ios::trunc) << "abcd";
  EXPECT_TRUE(files.ReadFile(path, image, error, &check));
  EXPECT_EQ(image.Size(), 4u);
}

TEST_F(LinuxDataFilesTest, ACommittedFileReplacesTheOldOneAndADroppedOneLeavesNoTrace) {
  std::ofstream(path) << "old";
  {
    TFileError error;
    auto pending = files.BeginReplace(path, error);
    ASSERT_NE(pending, nullptr);
    ASSERT_TRUE(pending->Write("new "));
    ASSERT_TRUE(pending->Write("contents"));
    ASSERT_TRUE(pending->Flush());
    EXPECT_EQ(Contents(path), "old");  // not yet
    ASSERT_TRUE(pending->Commit());
  }
  EXPECT_EQ(Contents(path), "new contents");
  {
    TFileError error;
    auto pending = files.BeginReplace(path, error);
    ASSERT_TRUE(pending->Write("abandoned"));
  }
  EXPECT_EQ(Contents(path), "new contents");
  EXPECT_EQ(EntriesIn(temp.Path()), 2);  // memdb.dat and its lock file
}

TEST_F(LinuxDataFilesTest, APendingFileKeepsOtherWritersAndReadersOut) {
  TFileError error;
  {
    auto pending = files.BeginReplace(path, error);
    ASSERT_NE(pending, nullptr);
    EXPECT_FALSE(OtherProcessCanLock(path + ".lock", LOCK_EX));
    EXPECT_FALSE(OtherProcessCanLock(path + ".lock", LOCK_SH));
  }
  EXPECT_TRUE(OtherProcessCanLock(path + ".lock", LOCK_SH));
}

TEST_F(LinuxDataFilesTest, ReadersShareTheirLockAndKeepASaverOut) {
  std::unique_ptr<TFileLock> first = files.ShareLock(path);
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(OtherProcessCanLock(path + ".lock", LOCK_SH));
  EXPECT_FALSE(OtherProcessCanLock(path + ".lock", LOCK_EX));
  first.reset();
  EXPECT_TRUE(OtherProcessCanLock(path + ".lock", LOCK_EX));
}

TEST_F(LinuxDataFilesTest, ASaveRemovesTheTemporaryFilesOfKilledSaves) {
  std::ofstream(path) << "old";
  for (const char* name : {"memdb.dat.a1B2c3", "memdb.dat.ZZZZZZ", "memdb.dat.000000"}) {
    std::ofstream(temp.Path() + "/" + name) << "left by a killed save";
  }
  // Not temporaries of this file, or not ours to judge: a person's copy,
  // another file's temporary, a folder of the same form.
  std::ofstream(temp.Path() + "/memdb.dat.backup") << "kept";
  std::ofstream(temp.Path() + "/memdb.da.a1B2c3") << "kept";
  std::ofstream(temp.Path() + "/memdb.dat.a1B2c") << "kept";
  ::mkdir((temp.Path() + "/memdb.dat.Q1w2E3").c_str(), 0755);
  TFileError error;
  auto pending = files.BeginReplace(path, error);
  ASSERT_NE(pending, nullptr);
  ASSERT_TRUE(pending->Write("new") && pending->Flush() && pending->Commit());
  pending.reset();
  // memdb.dat, its lock, the four that stay.
  EXPECT_EQ(EntriesIn(temp.Path()), 6);
  EXPECT_EQ(Contents(temp.Path() + "/memdb.dat.backup"), "kept");
  EXPECT_EQ(Contents(path), "new");
}

TEST_F(LinuxDataFilesTest, AFailedRenameSaysWhyAndLeavesNoTemporaryFile) {
  // A non-empty folder cannot be renamed over, even by root.
  ::mkdir(path.c_str(), 0755);
  std::ofstream(path + "/inside") << "x";
  TFileError error;
  {
    auto pending = files.BeginReplace(path, error);
    ASSERT_NE(pending, nullptr);
    ASSERT_TRUE(pending->Write("new") && pending->Flush());
    EXPECT_FALSE(pending->Commit());
    EXPECT_EQ(pending->Error().Step, "rename");
    EXPECT_NE(pending->Error().Errno, 0);
  }
  EXPECT_EQ(EntriesIn(temp.Path()), 2);  // the folder and the lock
}

TEST_F(LinuxDataFilesTest, AFileThatMayNotBeWrittenCannotBeReplaced) {
  TFileError error;
  EXPECT_TRUE(files.CanReplace(path, error));  // missing: may be created
  EXPECT_FALSE(files.CanReplace(temp.Path(), error));
  std::ofstream(path) << "x";
  EXPECT_TRUE(files.CanReplace(path, error));
  ::chmod(path.c_str(), 0444);
  if (::geteuid() == 0) GTEST_SKIP() << "root may write any file";
  EXPECT_FALSE(files.CanReplace(path, error));
  EXPECT_EQ(error.Errno, EACCES);
}

TEST_F(LinuxDataFilesTest, CannotStartANewVersionWhereNothingCanBeCreated) {
  std::ofstream(temp.Path() + "/plain") << "x";
  TFileError error;
  EXPECT_EQ(files.BeginReplace(temp.Path() + "/plain/memdb.dat", error), nullptr);
  EXPECT_EQ(error.Step, "lock");
  EXPECT_EQ(error.Errno, ENOTDIR);
}

}  // namespace
}  // namespace varnoke::platform
