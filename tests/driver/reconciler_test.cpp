// Rounds of listings on a real temporary drive, with the test playing the
// reader: it hands each mark back when the stream would bring it, and the
// events between them.
#include "driver/reconciler.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/device_abi.h"
#include "tests/support/temp_drive.h"

namespace varnoke::driver {
namespace {

class TRecordingSink : public TReportSink {
 public:
  void Report(std::uint32_t code, std::uint32_t info, std::string path,
              std::string newPath) override {
    std::string text = std::to_string(code) + " " + std::to_string(info) + " " + path;
    if (code == VXD_CODE_LISTING) {
      // The names, each ended by a NUL, sorted: the disk lists them in any
      // order.
      std::vector<std::string> names;
      for (std::size_t begin = 0; begin < newPath.size();) {
        const std::size_t end = newPath.find('\0', begin);
        names.push_back(newPath.substr(begin, end - begin));
        begin = end + 1;
      }
      std::sort(names.begin(), names.end());
      text += " [";
      for (const std::string& name : names)
        text += (&name == &names.front() ? "" : ",") + name;
      text += "]";
    } else if (!newPath.empty()) {
      text += " " + newPath;
    }
    reports.push_back(std::move(text));
  }
  std::uint64_t ReportCount() const override { return reports.size(); }
  bool HandledUpTo(std::uint64_t) override { return true; }
  bool ComparisonCalledOff() const override { return calledOff; }

  bool calledOff = false;

  // The reports made since the last call.
  std::vector<std::string> Take() {
    std::vector<std::string> taken(reports.begin() + static_cast<std::ptrdiff_t>(seen),
                                   reports.end());
    seen = reports.size();
    return taken;
  }

  std::vector<std::string> reports;
  std::size_t seen = 0;
};

// A directory's identity is its inode: what a source's watch or handle
// stands for.
class TInodeIdentifier : public TIdentifier {
 public:
  std::string Identify(int fd, bool& refused) override {
    refused = false;
    struct stat st {};
    if (::fstat(fd, &st) != 0) return {};
    return std::to_string(st.st_ino);
  }
  void Release(const std::string&) override {}
};

class ReconcilerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(marks.Create(drive.TempPath())); }

  std::string Inode(const std::string& relative) {
    struct stat st {};
    ::stat(drive.Host(relative).c_str(), &st);
    return std::to_string(st.st_ino);
  }
  static bool Has(const std::vector<std::string>& reports, const std::string& report) {
    return std::find(reports.begin(), reports.end(), report) != reports.end();
  }
  // Starts a round and brings its opening mark: the listings are made.
  void Open() {
    reconciler.OnDrained();
    reconciler.OnMark(mark++);
  }
  // Brings the round's closing mark.
  void Close() { reconciler.OnMark(mark++); }

  testing::TTempDrive drive;
  TBarrierFolder marks;
  TDirectoryModel model;
  TRecordingSink sink;
  TInodeIdentifier identifier;
  TReconciler reconciler{model, sink, drive.Files(), identifier, marks};
  std::uint64_t mark = 1;
};

TEST_F(ReconcilerTest, ListsANewTreeWholeInOneRound) {
  reconciler.PlaceTrees({"C:\\"});
  drive.MakeFile("New/a.txt");
  drive.MakeFile("New/Sub/b.txt");
  drive.MakeFile("New/.hidden/c.txt");
  reconciler.Request("C:\\New\\");
  EXPECT_EQ(reconciler.Pending(), 1u);

  Open();
  const std::vector<std::string> reports = sink.Take();
  EXPECT_EQ(reports,
            (std::vector<std::string>{"31 0 C:\\New\\*", "36 0 C:\\New\\a.txt", "32 0 C:\\New\\Sub",
                                      "31 0 C:\\New\\Sub\\*", "36 0 C:\\New\\Sub\\b.txt"}));
  EXPECT_EQ(model.IdentityOf("C:\\New\\Sub\\"), Inode("New/Sub"));
  EXPECT_GT(reconciler.Pending(), 0u);  // until the closing mark
  Close();
  EXPECT_EQ(reconciler.Pending(), 0u);
  EXPECT_TRUE(sink.Take().empty());
}

TEST_F(ReconcilerTest, AChangeWhileTheRoundIsUnderWayHasTheDirectoryListedAgain) {
  reconciler.PlaceTrees({"C:\\"});
  drive.MakeFile("New/a.txt");
  reconciler.Request("C:\\New\\");
  Open();
  sink.Take();
  // A file's event tells what became of the file, whatever the listing saw;
  // the tree may lack its old name, though (a rename out of the directory
  // is then followed by a creation of the new one).
  EXPECT_TRUE(reconciler.Observe("C:\\New\\", Inode("New"), "b.txt", false));
  EXPECT_FALSE(model.IsMarked("C:\\New\\"));
  // A subdirectory's event may have met the listing half-way.
  EXPECT_TRUE(reconciler.Observe("C:\\New\\", Inode("New"), "Sub", true));
  Close();
  EXPECT_GT(reconciler.Pending(), 0u);
  reconciler.OnMark(mark++);  // the next round opens at once
  EXPECT_TRUE(Has(sink.Take(), "36 0 C:\\New\\a.txt"));
  Close();
  EXPECT_EQ(reconciler.Pending(), 0u);
}

TEST_F(ReconcilerTest, ARenameOfAnAncestorSpoilsTheRoundToo) {
  drive.MakeFile("A/B/f.txt");
  reconciler.PlaceTrees({"C:\\"});
  reconciler.Request("C:\\A\\B\\");
  Open();
  EXPECT_FALSE(reconciler.Observe("C:\\", Inode(""), "A", true));
  Close();
  EXPECT_TRUE(model.IsMarked("C:\\A\\B\\"));
}

TEST_F(ReconcilerTest, ASubdirectoryGoneIsReportedAtTheClosingMarkWhenNothingChanged) {
  drive.MakeDirectory("D/x");
  drive.MakeDirectory("D/y");
  reconciler.PlaceTrees({"C:\\"});
  ::rmdir(drive.Host("D/x").c_str());
  ::rmdir(drive.Host("D/y").c_str());
  reconciler.Request("C:\\D\\");
  Open();
  EXPECT_FALSE(Has(sink.Take(), "32 1 C:\\D\\x"));
  Close();
  EXPECT_EQ(sink.Take(), (std::vector<std::string>{"32 1 C:\\D\\x", "32 1 C:\\D\\y"}));
  EXPECT_FALSE(model.Knows("C:\\D\\x\\"));

  // Had something changed in the directory meanwhile, nothing would be
  // taken for gone: the next round looks again.
  drive.MakeDirectory("E/z");
  reconciler.PlaceTrees({"C:\\"});
  ::rmdir(drive.Host("E/z").c_str());
  reconciler.Request("C:\\E\\");
  Open();
  reconciler.Observe("C:\\E\\", Inode("E"), "new", true);
  Close();
  EXPECT_FALSE(Has(sink.Take(), "32 1 C:\\E\\z"));
  EXPECT_TRUE(model.Knows("C:\\E\\z\\"));
}

TEST_F(ReconcilerTest, ADirectoryRenamedByEventsStillToBeReadIsNotPlacedAhead) {
  drive.MakeFile("Old/f.txt");
  reconciler.PlaceTrees({"C:\\"});
  const std::string old = Inode("Old");
  ASSERT_EQ(std::rename(drive.Host("Old").c_str(), drive.Host("New").c_str()), 0);
  reconciler.Request("C:\\");
  Open();
  // The listing found Old's directory under another name: the model keeps
  // it where the events read so far have put it.
  EXPECT_EQ(*model.LabelOf(old), "C:\\Old\\");
  // Then the rename's event is read, in the round's window.
  reconciler.Observe("C:\\", Inode(""), "Old", true);
  reconciler.Observe("C:\\", Inode(""), "New", true);
  model.Move("C:\\Old\\", "C:\\New\\", nullptr);
  Close();
  EXPECT_FALSE(Has(sink.Take(), "32 1 C:\\Old"));
  EXPECT_EQ(*model.LabelOf(old), "C:\\New\\");
}

TEST_F(ReconcilerTest, ADirectoryThatCannotBeOpenedIsTriedOnceMoreThenLeftToItsParent) {
  drive.MakeDirectory("P/Gone");
  reconciler.PlaceTrees({"C:\\"});
  ::rmdir(drive.Host("P/Gone").c_str());
  reconciler.Request("C:\\P\\Gone\\");
  Open();
  EXPECT_TRUE(sink.Take().empty());
  EXPECT_TRUE(model.IsMarked("C:\\P\\Gone\\"));  // once more, after this round
  Close();
  reconciler.OnMark(mark++);  // second round: it fails again, the parent is listed
  EXPECT_TRUE(Has(sink.Take(), "31 0 C:\\P\\*"));
  Close();
  EXPECT_EQ(sink.Take(), (std::vector<std::string>{"32 1 C:\\P\\Gone"}));
  EXPECT_EQ(reconciler.Pending(), 0u);
}

TEST_F(ReconcilerTest, WithoutMarksListingsAreReportedAtOnce) {
  TBarrierFolder none;
  TReconciler unchecked{model, sink, drive.Files(), identifier, none};
  drive.MakeFile("New/a.txt");
  unchecked.PlaceTrees({"C:\\"});
  unchecked.Request("C:\\New\\");
  unchecked.OnDrained();
  EXPECT_TRUE(Has(sink.Take(), "36 0 C:\\New\\a.txt"));
  EXPECT_EQ(unchecked.Pending(), 0u);
}

// After a load, every directory is listed once and reported whole; once
// nothing changed it, that it is unchanged (the round's directories in one
// report), for the program to remove the subdirectories it has and the
// listing had not; then the end.
TEST_F(ReconcilerTest, TheWalkReportsEachDirectoryWholeThenThatItIsUnchangedThenItsEnd) {
  drive.MakeFile("A/a.txt");
  drive.MakeFile("A/Sub/b.txt");
  drive.MakeFile("A/.hidden/c.txt");
  drive.MakeFile("c.txt");
  reconciler.BeginComparison({"C:\\"});
  EXPECT_GT(reconciler.Pending(), 0u);
  Open();
  EXPECT_EQ(sink.Take(),
            (std::vector<std::string>{"44 0 C:\\ [A\\,c.txt]", "44 0 C:\\A\\ [Sub\\,a.txt]",
                                      "44 0 C:\\A\\Sub\\ [b.txt]"}));
  EXPECT_EQ(model.IdentityOf("C:\\A\\Sub\\"), Inode("A/Sub"));  // placed as it went
  Close();
  EXPECT_EQ(sink.Take(),
            (std::vector<std::string>{"44 1  [C:\\,C:\\A\\,C:\\A\\Sub\\]", "44 2  []"}));
  EXPECT_EQ(reconciler.Pending(), 0u);
}

TEST_F(ReconcilerTest, AWalkedDirectoryChangedWhileItsRoundIsUnderWayIsComparedAgain) {
  drive.MakeFile("A/a.txt");
  reconciler.BeginComparison({"C:\\"});
  Open();
  sink.Take();
  drive.MakeDirectory("A/New");
  EXPECT_TRUE(reconciler.Observe("C:\\A\\", Inode("A"), "New", true));
  Close();
  // Nothing said of A: the round's listing of it may be wrong.
  EXPECT_EQ(sink.Take(), (std::vector<std::string>{"44 1  [C:\\]"}));
  reconciler.OnMark(mark++);
  EXPECT_EQ(sink.Take(),
            (std::vector<std::string>{"44 0 C:\\A\\ [New\\,a.txt]", "44 0 C:\\A\\New\\ []"}));
  Close();
  EXPECT_EQ(sink.Take(), (std::vector<std::string>{"44 1  [C:\\A\\,C:\\A\\New\\]", "44 2  []"}));
}

TEST_F(ReconcilerTest, CalledOffTheWalkOnlyPlacesButWhatIsAskedForIsStillListed) {
  drive.MakeFile("A/a.txt");
  reconciler.BeginComparison({"C:\\"});
  sink.calledOff = true;
  Open();
  EXPECT_TRUE(sink.Take().empty());
  EXPECT_EQ(model.IdentityOf("C:\\A\\"), Inode("A"));
  // A directory that appears meanwhile is listed as ever.
  drive.MakeFile("A/N/n.txt");
  reconciler.Request("C:\\A\\N\\");
  Close();
  EXPECT_EQ(sink.Take(), (std::vector<std::string>{}));
  reconciler.OnMark(mark++);
  EXPECT_EQ(sink.Take(), (std::vector<std::string>{"31 0 C:\\A\\N\\*", "36 0 C:\\A\\N\\n.txt"}));
  Close();
  EXPECT_EQ(sink.Take(), (std::vector<std::string>{"44 2  []"}));
  EXPECT_EQ(reconciler.Pending(), 0u);
}

}  // namespace
}  // namespace varnoke::driver
