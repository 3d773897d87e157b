// The database file on real files and a real settings hive: what other
// processes, odd files and refusing folders do to a save or a load.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>

#include "db/memory_db.h"
#include "platform/unique_fd.h"
#include "tests/support/temp_drive.h"
#include "tests/support/tree_builder.h"
#include "tests/support/tree_dump.h"

namespace varnoke {
namespace {

using Lines = std::vector<std::string>;

class DatabaseDiskTest : public ::testing::Test {
 protected:
  // Replaces the tree by C:\<top> holding files files.
  static void Fill(TMemoryDB& db, const std::string& top, int files) {
    std::lock_guard guard(db.Lock);
    TDDList& list = db.DDList();
    while (list.FirstDirectory() != nullptr)
      list.RemoveDirectoryRecord(list.FirstDirectory());
    TDirectoryRecord* directory = testing::EnsureDirectory(db, "C:\\" + top);
    for (int i = 0; i < files; ++i)
      list.AddFile(top + std::to_string(i), directory);
  }

  bool Save(const std::string& top, int files = 3) {
    TMemoryDB db(drive.Services());
    db.LoadFromFile(path);  // gives it the file name
    Fill(db, top, files);
    return db.SaveToFile();
  }

  TFileReport LoadReport() {
    TMemoryDB db(drive.Services());
    db.LoadFromFile(path);
    return db.LastFileReport();
  }

  testing::TTempDrive drive;
  std::string path = drive.DatabasePath();
};

TEST_F(DatabaseDiskTest, AReaderNeverSeesOneSavesFileWithAnothersCrc) {
  constexpr int kFiles = 3000;
  constexpr int kSaves = 120;
  std::vector<std::string> trees[2];
  for (int t = 0; t < 2; ++t) {
    TMemoryDB db(drive.Services());
    Fill(db, t == 0 ? "A" : "B", kFiles);
    ASSERT_TRUE(Save(t == 0 ? "A" : "B", kFiles));
    TMemoryDB loaded(drive.Services());
    ASSERT_TRUE(loaded.LoadFromFile(path));
    trees[t] = testing::DumpTree(loaded);
  }
  const pid_t saver = ::fork();
  ASSERT_GE(saver, 0);
  if (saver == 0) {
    TMemoryDB db(drive.Services());
    db.LoadFromFile(path);
    for (int i = 0; i < kSaves; ++i) {
      Fill(db, i % 2 == 0 ? "A" : "B", kFiles);
      if (!db.SaveToFile()) ::_exit(1);
    }
    ::_exit(0);
  }
  int loads = 0;
  int failures = 0;
  int status = 0;
  while (::waitpid(saver, &status, WNOHANG) == 0) {
    TMemoryDB db(drive.Services());
    if (!db.LoadFromFile(path)) {
      ++failures;
      ADD_FAILURE() << db.LastFileReport().Reason;
      continue;
    }
    const Lines tree = testing::DumpTree(db);
    EXPECT_TRUE(tree == trees[0] || tree == trees[1]);
    ++loads;
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(failures, 0);
  RecordProperty("loads", loads);
}

TEST_F(DatabaseDiskTest, RefusesAFifoAndAHugeFileWithoutReadingThemWhole) {
  ASSERT_TRUE(Save("OLD"));
  ::unlink(path.c_str());
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  TFileReport report = LoadReport();  // would wait for a writer for ever if it opened blocking
  EXPECT_EQ(report.Outcome, TFileOutcome::Unreadable);
  EXPECT_EQ(report.Reason, "cannot read " + path + ": it is not a regular file");
  ::unlink(path.c_str());

  // A valid start and 3 GB of hole: refused after its first bytes.
  {
    std::ofstream(path, std::ios::binary) << std::string("\1\0\0\0\2\0\0\0C:\0\0\0\0\0\0\0\0", 18);
    ASSERT_EQ(::truncate(path.c_str(), std::int64_t{3} << 30), 0);
  }
  report = LoadReport();
  EXPECT_EQ(report.Outcome, TFileOutcome::Damaged);
  EXPECT_NE(report.Reason.find("longer than the tree it holds"), std::string::npos);
}

TEST_F(DatabaseDiskTest, ASaveRemovesWhatKilledSavesLeftBehind) {
  ASSERT_TRUE(Save("OLD"));
  std::ofstream(path + ".k1LL3d", std::ios::binary) << std::string(1000, 'x');
  ASSERT_TRUE(Save("NEW"));
  EXPECT_NE(::access((path + ".k1LL3d").c_str(), F_OK), 0);
}

TEST_F(DatabaseDiskTest, AFolderThatRefusesTheSaveIsReportedAndTheOldFileStillLoads) {
  ASSERT_TRUE(Save("OLD"));
  const std::string folder = drive.TempPath();
  ::chmod(folder.c_str(), 0555);
  if (::geteuid() == 0) {
    ::chmod(folder.c_str(), 0755);
    GTEST_SKIP() << "root may write any folder";
  }
  TMemoryDB db(drive.Services());
  db.LoadFromFile(path);
  Fill(db, "NEW", 3);
  const bool saved = db.SaveToFile();
  const TFileReport report = db.LastFileReport();
  ::chmod(folder.c_str(), 0755);
  EXPECT_FALSE(saved);
  EXPECT_EQ(report.Outcome, TFileOutcome::NotSaved);
  EXPECT_NE(report.Reason.find("Permission denied"), std::string::npos) << report.Reason;
  TMemoryDB loaded(drive.Services());
  ASSERT_TRUE(loaded.LoadFromFile(path));
  EXPECT_EQ(testing::DumpTree(loaded).back().substr(0, 7), "C:\\OLD\\");
}

TEST_F(DatabaseDiskTest, AFileThatMayNotBeReadIsReportedAsSuch) {
  ASSERT_TRUE(Save("OLD"));
  ::chmod(path.c_str(), 0);
  if (::geteuid() == 0) GTEST_SKIP() << "root may read any file";
  const TFileReport report = LoadReport();
  EXPECT_EQ(report.Outcome, TFileOutcome::Unreadable);
  EXPECT_EQ(report.Reason, "cannot open " + path + ": Permission denied");
}

}  // namespace
}  // namespace varnoke
