// Saves killed at random moments, on real files and a real settings hive:
// whatever is left loads as one of the saved trees or not at all.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>

#include "db/memory_db.h"
#include "tests/support/temp_drive.h"
#include "tests/support/tree_builder.h"
#include "tests/support/tree_dump.h"

namespace varnoke {
namespace {

constexpr int kFiles = 20000;

// Makes the tree C:\top holding kFiles files; reversed adds them the other
// way round, which is how a saved tree comes back from its file.
void Rebuild(TMemoryDB& db, const std::string& top, bool reversed = false) {
  std::lock_guard guard(db.Lock);
  TDDList& list = db.DDList();
  while (list.FirstDirectory() != nullptr)
    list.RemoveDirectoryRecord(list.FirstDirectory());
  TDirectoryRecord* directory = testing::EnsureDirectory(db, "C:\\" + top);
  for (int i = 0; i < kFiles; ++i) {
    list.AddFile(top + std::to_string(reversed ? kFiles - 1 - i : i), directory);
  }
}

TEST(DatabaseCrash, AKilledSaveNeverLeavesALoadableWrongFile) {
  testing::TTempDrive drive;
  const std::string path = drive.DatabasePath();
  std::vector<std::string> trees[2];
  for (int t = 0; t < 2; ++t) {
    TMemoryDB db(drive.Services());
    Rebuild(db, t == 0 ? "A" : "B", true);
    trees[t] = testing::DumpTree(db);
  }
  std::mt19937 random(99);
  int loaded = 0;
  int refused = 0;
  for (int round = 0; round < 20; ++round) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Saves tree A, then B, then A ... until it is killed, saying so after
      // the first save.
      ::close(ready[0]);
      TMemoryDB db(drive.Services());
      db.LoadFromFile(path);  // gives the database its file name
      for (int i = round;; ++i) {
        Rebuild(db, i % 2 == 0 ? "A" : "B");
        db.SaveToFile();
        if (i == round && ::write(ready[1], "x", 1) != 1) ::_exit(1);
      }
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);  // the first save is through
    ::close(ready[0]);
    std::this_thread::sleep_for(
        std::chrono::microseconds(std::uniform_int_distribution<int>(500, 40000)(random)));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);

    TMemoryDB check(drive.Services());
    bool ok = false;
    try {
      ok = check.LoadFromFile(path);
    } catch (const settings::ERegistry&) {
    }
    if (ok) {
      const std::vector<std::string> tree = testing::DumpTree(check);
      EXPECT_TRUE(tree == trees[0] || tree == trees[1]) << "round " << round;
      ++loaded;
    } else {
      ++refused;
    }
  }
  // Most kills land after some save went through.
  EXPECT_GT(loaded, 0);
  RecordProperty("refused", refused);
}

}  // namespace
}  // namespace varnoke
