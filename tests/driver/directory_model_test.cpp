// The device's picture of the directories: labels moved and forgotten by
// subtree, identities following their labels, and the marks riding along.
#include "driver/directory_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace varnoke::driver {
namespace {

class DirectoryModelTest : public ::testing::Test {
 protected:
  void Place(const std::string& label, const std::string& identity) {
    model.Place(label, identity);
  }
  TDirectoryModel::TRelease Recorder() {
    return [this](const std::string& identity) { released.push_back(identity); };
  }

  TDirectoryModel model;
  std::vector<std::string> released;
};

TEST_F(DirectoryModelTest, MoveCarriesASubtreeWithItsIdentitiesAndMarks) {
  Place("C:\\", "root");
  Place("C:\\A\\", "a");
  Place("C:\\A\\B\\", "b");
  Place("C:\\AB\\", "ab");  // shares a prefix with A, but is not below it
  model.Mark("C:\\A\\B\\");
  model.SetUnwatchable("C:\\A\\B\\", true);

  model.Move("C:\\A\\", "C:\\Z\\Y\\", Recorder());

  EXPECT_FALSE(model.Knows("C:\\A\\"));
  EXPECT_FALSE(model.Knows("C:\\A\\B\\"));
  EXPECT_EQ(*model.LabelOf("b"), "C:\\Z\\Y\\B\\");
  EXPECT_EQ(model.IdentityOf("C:\\Z\\Y\\"), "a");
  EXPECT_TRUE(model.IsMarked("C:\\Z\\Y\\B\\"));
  EXPECT_TRUE(model.IsUnwatchable("C:\\Z\\Y\\B\\"));
  EXPECT_EQ(model.IdentityOf("C:\\AB\\"), "ab");
  EXPECT_TRUE(released.empty());
}

TEST_F(DirectoryModelTest, MoveOntoADirectoryReplacesItAndLetsItsIdentitiesGo) {
  Place("C:\\OLD\\", "old");
  Place("C:\\NEW\\", "new");
  Place("C:\\NEW\\SUB\\", "sub");
  model.Mark("C:\\NEW\\SUB\\");

  model.Move("C:\\OLD\\", "C:\\NEW\\", Recorder());

  EXPECT_EQ(model.IdentityOf("C:\\NEW\\"), "old");
  EXPECT_FALSE(model.Knows("C:\\NEW\\SUB\\"));
  EXPECT_EQ(model.LabelOf("new"), nullptr);
  EXPECT_EQ(model.LabelOf("sub"), nullptr);
  EXPECT_EQ(released, (std::vector<std::string>{"new", "sub"}));
  EXPECT_EQ(model.MarkedCount(), 0u);
}

TEST_F(DirectoryModelTest, ForgetTakesTheSubtreeOnly) {
  Place("C:\\A\\", "a");
  Place("C:\\A\\B\\", "b");
  Place("C:\\A B\\", "space");
  Place("C:\\A[\\", "bracket");
  model.Mark("C:\\A\\B\\");

  model.Forget("C:\\A\\", Recorder());

  EXPECT_EQ(released, (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(model.Knows("C:\\A B\\"));
  EXPECT_TRUE(model.Knows("C:\\A[\\"));
  EXPECT_EQ(model.MarkedCount(), 0u);
}

TEST_F(DirectoryModelTest, AnIdentityPlacedElsewhereLeavesItsOldLabelToBeLookedAt) {
  Place("C:\\A\\", "same");
  Place("C:\\B\\", "same");

  EXPECT_EQ(*model.LabelOf("same"), "C:\\B\\");
  EXPECT_TRUE(model.Knows("C:\\A\\"));
  EXPECT_EQ(model.IdentityOf("C:\\A\\"), "");
  EXPECT_TRUE(model.IsMarked("C:\\A\\"));
}

TEST_F(DirectoryModelTest, ChildrenAreTheLabelsJustBelowWhateverTheirNamesSortLike) {
  // "[" sorts just before the backslash and "]" just after it: the children
  // of C:\A\ are not to be confused with siblings of A, nor grandchildren listed.
  for (const char* label : {"C:\\", "C:\\A\\", "C:\\A\\x\\", "C:\\A\\x\\deep\\", "C:\\A\\y]\\",
                            "C:\\A\\y[\\", "C:\\A[\\", "C:\\A]\\", "C:\\B\\"}) {
    model.Add(label);
  }
  EXPECT_EQ(model.Children("C:\\A\\"),
            (std::vector<std::string>{"C:\\A\\x\\", "C:\\A\\y[\\", "C:\\A\\y]\\"}));
  EXPECT_EQ(model.Children("C:\\"),
            (std::vector<std::string>{"C:\\A[\\", "C:\\A\\", "C:\\A]\\", "C:\\B\\"}));
  EXPECT_TRUE(model.Children("C:\\B\\").empty());
}

TEST_F(DirectoryModelTest, MarkedLabelsAreTakenParentsFirst) {
  model.Mark("C:\\A\\B\\C\\");
  model.Mark("C:\\A\\");
  model.Mark("C:\\A\\B\\");
  EXPECT_EQ(model.TakeMarked(2), (std::vector<std::string>{"C:\\A\\", "C:\\A\\B\\"}));
  EXPECT_EQ(model.TakeMarked(5), (std::vector<std::string>{"C:\\A\\B\\C\\"}));
  EXPECT_EQ(model.MarkedCount(), 0u);
}

TEST_F(DirectoryModelTest, UnwatchableLabelsAreMarkedAFewAtATimeGoingRound) {
  for (const char* label : {"C:\\1\\", "C:\\2\\", "C:\\3\\"}) {
    model.Add(label);
    model.SetUnwatchable(label, true);
  }
  model.MarkUnwatchable(2);
  EXPECT_EQ(model.TakeMarked(10), (std::vector<std::string>{"C:\\1\\", "C:\\2\\"}));
  model.MarkUnwatchable(2);
  EXPECT_EQ(model.TakeMarked(10), (std::vector<std::string>{"C:\\1\\", "C:\\3\\"}));
  // An identity at last: no longer one to list on a timer.
  Place("C:\\1\\", "w");
  EXPECT_EQ(model.UnwatchableCount(), 2u);
}

}  // namespace
}  // namespace varnoke::driver
