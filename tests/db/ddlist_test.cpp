#include "db/ddlist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace varnoke {
namespace {

std::vector<std::string> FileNames(const TDirectoryRecord* d) {
  std::vector<std::string> names;
  for (const TFileEntry* e = d->Files(); e != nullptr; e = e->Next())
    names.emplace_back(e->Name());
  return names;
}

std::vector<std::string> ChainNames(const TDDList& list) {
  std::vector<std::string> names;
  for (const TDirectoryRecord* d = list.FirstDirectory(); d != nullptr; d = d->Next()) {
    names.emplace_back(d->Name());
  }
  return names;
}

TEST(TDDList, KeepsDirectoriesInAddingOrderAndFilesNewestFirst) {
  TDDList list;
  TDirectoryRecord* root = list.AddDirectory("C:", nullptr);
  list.AddDirectory("X", root);
  list.AddDirectory("Y", root);
  list.AddDirectory("Z", root);
  list.AddFile("A", root);
  list.AddFile("B", root);
  list.AddFile("C", root);
  EXPECT_EQ(ChainNames(list), (std::vector<std::string>{"C:", "X", "Y", "Z"}));
  EXPECT_EQ(FileNames(root), (std::vector<std::string>{"C", "B", "A"}));
  EXPECT_EQ(root->Parent(), nullptr);
  EXPECT_EQ(root->Next()->Parent(), root);
  EXPECT_EQ(root->Flag(), 0);
  EXPECT_EQ(list.DirectoryCount(), 4u);
  EXPECT_EQ(list.FileCount(), 3u);
}

TEST(TDDList, StoresAFileEntryAsOneBlockWithItsNameInline) {
  TDDList list;
  TDirectoryRecord* root = list.AddDirectory("C:", nullptr);
  TFileEntry* entry = list.AddFile("WIN.INI", root);
  EXPECT_STREQ(entry->Name(), "WIN.INI");
  EXPECT_EQ(entry->Flag(), 0);
  EXPECT_EQ(entry->Next(), nullptr);
  // Next, then Flag, then the name directly behind it.
  EXPECT_EQ(reinterpret_cast<const char*>(entry) + sizeof(void*) + 1, entry->Name());

  // A name stays where it is while other entries come and go.
  const char* address = entry->Name();
  for (int i = 0; i < 1000; ++i)
    list.AddFile(std::to_string(i), root);
  for (TFileEntry* e = list.FirstFile(root); e != nullptr && e != entry;) {
    e = list.RemoveFileEntry(e, root);
  }
  EXPECT_EQ(list.FirstFile(root), entry);
  EXPECT_EQ(entry->Name(), address);
  EXPECT_STREQ(address, "WIN.INI");
}

TEST(TDDList, RemoveFileEntryReturnsTheFollowerOrNull) {
  TDDList list;
  TDirectoryRecord* a = list.AddDirectory("A:", nullptr);
  TDirectoryRecord* b = list.AddDirectory("B:", nullptr);
  EXPECT_EQ(list.RemoveFileEntry(nullptr, a), nullptr);  // no entries
  TFileEntry* first = list.AddFile("1", a);
  TFileEntry* second = list.AddFile("2", a);
  TFileEntry* third = list.AddFile("3", a);  // chain 3, 2, 1
  TFileEntry* other = list.AddFile("X", b);

  EXPECT_EQ(list.RemoveFileEntry(other, a), nullptr);  // of another directory
  EXPECT_EQ(FileNames(a), (std::vector<std::string>{"3", "2", "1"}));

  EXPECT_EQ(list.RemoveFileEntry(third, a), second);  // the head: the new head
  EXPECT_EQ(list.FirstFile(a), second);
  EXPECT_EQ(list.RemoveFileEntry(first, a), nullptr);  // the last
  EXPECT_EQ(FileNames(a), (std::vector<std::string>{"2"}));
  EXPECT_EQ(list.FileCount(), 2u);
}

TEST(TDDList, RemoveDirectoryRecordRelinksTheChain) {
  TDDList list;
  TDirectoryRecord* c = list.AddDirectory("C:", nullptr);
  TDirectoryRecord* d = list.AddDirectory("D:", nullptr);
  TDirectoryRecord* e = list.AddDirectory("E:", nullptr);
  list.AddFile("F1", c);
  list.AddFile("F2", c);

  EXPECT_EQ(list.RemoveDirectoryRecord(c), d);  // First: its successor becomes First
  EXPECT_EQ(list.FirstDirectory(), d);
  EXPECT_EQ(list.FileCount(), 0u);                    // its files went with it
  EXPECT_EQ(list.RemoveDirectoryRecord(e), nullptr);  // the last
  EXPECT_EQ(ChainNames(list), (std::vector<std::string>{"D:"}));
  // Adding after removing the tail appends behind the new tail.
  list.AddDirectory("F:", nullptr);
  EXPECT_EQ(ChainNames(list), (std::vector<std::string>{"D:", "F:"}));

  TDDList other;
  TDirectoryRecord* foreign = other.AddDirectory("G:", nullptr);
  EXPECT_EQ(list.RemoveDirectoryRecord(foreign), nullptr);
  EXPECT_EQ(other.FirstDirectory(), foreign);
  EXPECT_EQ(list.DirectoryCount(), 2u);
}

TEST(TDDList, RemovingADirectoryRemovesEverythingBelowIt) {
  TDDList list;
  TDirectoryRecord* c = list.AddDirectory("C:", nullptr);
  TDirectoryRecord* a = list.AddDirectory("A", c);
  TDirectoryRecord* b = list.AddDirectory("B", a);
  list.AddDirectory("X", c);
  list.AddDirectory("D", b);
  list.AddFile("IN.B", b);
  TDirectoryRecord* after = list.AddDirectory("Y", c);

  // The follower of A is the first record behind it that survives.
  EXPECT_EQ(ChainNames(list), (std::vector<std::string>{"C:", "A", "B", "X", "D", "Y"}));
  EXPECT_EQ(list.RemoveDirectoryRecord(a)->Name(), "X");
  EXPECT_EQ(ChainNames(list), (std::vector<std::string>{"C:", "X", "Y"}));
  EXPECT_EQ(list.FileCount(), 0u);
  EXPECT_EQ(list.FindDirectory("B", nullptr), nullptr);
  EXPECT_EQ(list.FindDirectory("Y", c), after);
  EXPECT_EQ(list.DirectoryCount(), 3u);
}

TEST(TDDList, FindDirectoryTellsParentsApartAndPrefersTheEarliestRecord) {
  TDDList list;
  TDirectoryRecord* c = list.AddDirectory("C:", nullptr);
  TDirectoryRecord* windows = list.AddDirectory("WINDOWS", c);
  TDirectoryRecord* system = list.AddDirectory("SYSTEM", windows);
  EXPECT_EQ(list.FindDirectory("SYSTEM", windows), system);
  EXPECT_EQ(list.FindDirectory("SYSTEM", nullptr), nullptr);
  EXPECT_EQ(list.FindDirectory("system", windows), nullptr);  // exact bytes
  EXPECT_EQ(list.FindDirectory("C:", nullptr), c);

  TDirectoryRecord* twin = list.AddDirectory("SYSTEM", windows);
  EXPECT_EQ(list.FindDirectory("SYSTEM", windows), system);
  list.RemoveDirectoryRecord(system);
  EXPECT_EQ(list.FindDirectory("SYSTEM", windows), twin);
}

TEST(TDDList, MoveDirectoryKeepsChainPlaceAndRefusesLoops) {
  TDDList list;
  TDirectoryRecord* c = list.AddDirectory("C:", nullptr);
  TDirectoryRecord* old = list.AddDirectory("OLD", c);
  TDirectoryRecord* sub = list.AddDirectory("SUB", old);
  TDirectoryRecord* other = list.AddDirectory("OTHER", c);
  list.AddFile("F", old);

  ASSERT_TRUE(list.MoveDirectory(old, "NEW", other));
  EXPECT_EQ(ChainNames(list), (std::vector<std::string>{"C:", "NEW", "SUB", "OTHER"}));
  EXPECT_EQ(list.FindDirectory("NEW", other), old);
  EXPECT_EQ(list.FindDirectory("OLD", c), nullptr);
  EXPECT_EQ(list.FindDirectory("SUB", old), sub);
  EXPECT_EQ(FileNames(old), (std::vector<std::string>{"F"}));

  EXPECT_FALSE(list.MoveDirectory(old, "LOOP", sub));  // into its own subtree
  EXPECT_FALSE(list.MoveDirectory(old, "LOOP", old));
  EXPECT_EQ(old->Parent(), other);
  EXPECT_EQ(old->Name(), "NEW");
}

TEST(TDDList, RejectsParentsOfAnotherList) {
  TDDList list;
  TDDList other;
  TDirectoryRecord* foreign = other.AddDirectory("C:", nullptr);
  EXPECT_THROW(list.AddDirectory("X", foreign), std::invalid_argument);
  EXPECT_THROW(list.AddFile("X", foreign), std::invalid_argument);
  EXPECT_EQ(list.FirstDirectory(), nullptr);
}

// The index must answer exactly as a walk of the chain would, through any
// mix of additions, removals and moves, whether it was built early or late.
TEST(TDDList, FindDirectoryAgreesWithAWalkOfTheChain) {
  std::mt19937 random(42);
  for (int buildEarly = 0; buildEarly < 2; ++buildEarly) {
    TDDList list;
    std::vector<TDirectoryRecord*> live;
    const char* names[] = {"A", "B", "C"};
    const auto pick = [&](std::size_t n) {
      return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
    };
    const auto walk = [&](const std::string& name, const TDirectoryRecord* parent) {
      for (TDirectoryRecord* d = list.FirstDirectory(); d != nullptr; d = d->Next()) {
        if (d->Name() == name && d->Parent() == parent) return d;
      }
      return static_cast<TDirectoryRecord*>(nullptr);
    };
    if (buildEarly) list.FindDirectory("A", nullptr);
    for (int step = 0; step < 3000; ++step) {
      const std::size_t action = pick(10);
      if (action < 6 || live.empty()) {
        TDirectoryRecord* parent = live.empty() || pick(4) == 0 ? nullptr : live[pick(live.size())];
        live.push_back(list.AddDirectory(names[pick(3)], parent));
      } else if (action < 8) {
        list.RemoveDirectoryRecord(live[pick(live.size())]);
        live.clear();
        for (TDirectoryRecord* d = list.FirstDirectory(); d != nullptr; d = d->Next()) {
          live.push_back(d);
        }
      } else {
        TDirectoryRecord* parent = pick(4) == 0 ? nullptr : live[pick(live.size())];
        list.MoveDirectory(live[pick(live.size())], names[pick(3)], parent);
      }
      for (int probe = 0; probe < 4; ++probe) {
        const std::string name = names[pick(3)];
        const TDirectoryRecord* parent =
            live.empty() || pick(4) == 0 ? nullptr : live[pick(live.size())];
        ASSERT_EQ(list.FindDirectory(name, parent), walk(name, parent)) << "step " << step;
      }
    }
    EXPECT_EQ(list.DirectoryCount(), live.size());
  }
}

// A directory with many subdirectories has them looked up in a table from
// the first lookup on; through adds, moves, renames and removals in and out
// of it, lookups must answer as the chain does.
TEST(TDDList, LookupsInAWideDirectoryAgreeWithAWalkOfTheChain) {
  std::mt19937 random(17);
  const auto pick = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  TDDList list;
  TDirectoryRecord* wide = list.AddDirectory("C:", nullptr);
  TDirectoryRecord* other = list.AddDirectory("D:", nullptr);
  const auto name = [&] { return "N" + std::to_string(pick(50)); };
  std::vector<TDirectoryRecord*> children;
  for (int i = 0; i < 200; ++i)
    children.push_back(list.AddDirectory(name(), wide));
  const auto walk = [&](const std::string& n, const TDirectoryRecord* parent) {
    std::vector<TDirectoryRecord*> found;
    for (TDirectoryRecord* d = list.FirstDirectory(); d != nullptr; d = d->Next()) {
      if (d->Name() == n && d->Parent() == parent) found.push_back(d);
    }
    return found;
  };
  std::vector<TDirectoryRecord*> named;
  for (int step = 0; step < 3000; ++step) {
    const std::string probe = name();
    const TDirectoryRecord* parent = pick(4) == 0 ? other : wide;
    const std::vector<TDirectoryRecord*> expected = walk(probe, parent);
    ASSERT_EQ(list.FindDirectory(probe, parent), expected.empty() ? nullptr : expected.front())
        << "step " << step;
    list.DirectoriesNamed(probe, parent, named);
    ASSERT_EQ(named, expected) << "step " << step;
    TDirectoryRecord* victim = children[pick(children.size())];
    switch (pick(4)) {
      case 0:
        children.push_back(list.AddDirectory(name(), pick(3) == 0 ? other : wide));
        break;
      case 1:
        list.MoveDirectory(victim, name(), pick(2) == 0 ? other : wide);
        break;
      case 2:
        list.PlaceBefore(victim, list.FirstDirectory());
        break;
      default:
        list.RemoveDirectoryRecord(victim);
        std::erase(children, victim);
        children.push_back(list.AddDirectory(name(), wide));
        break;
    }
  }
  std::vector<TDirectoryRecord*> below;
  list.AppendSubdirectories(wide, below);
  EXPECT_EQ(
      below.size() + 2 +
          [&] {
            std::vector<TDirectoryRecord*> rest;
            list.AppendSubdirectories(other, rest);
            return rest.size();
          }(),
      list.DirectoryCount());
}

// Large directories get an index of their names on the first lookup: it
// must answer as the chain does through any mix of changes, and removals
// must keep the chain intact with or without it.
TEST(TDDList, LookupsByNameAgreeWithTheChainInLargeDirectories) {
  std::mt19937 random(8);
  const auto pick = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  TDDList list;
  TDirectoryRecord* big = list.AddDirectory("C:", nullptr);
  TDirectoryRecord* other = list.AddDirectory("D:", nullptr);
  for (int i = 0; i < 300; ++i)
    list.AddFile("N" + std::to_string(pick(120)), big);
  TFileEntry* foreign = list.AddFile("N1", other);
  for (int step = 0; step < 4000; ++step) {
    const std::string name = "N" + std::to_string(pick(120));
    std::vector<TFileEntry*> expected;
    for (TFileEntry* e = big->Files(); e != nullptr; e = e->Next()) {
      if (name == e->Name()) expected.push_back(e);
    }
    ASSERT_EQ(list.FilesNamed(big, name), expected) << "step " << step;
    ASSERT_EQ(list.FindFile(big, name), expected.empty() ? nullptr : expected.front());
    const std::size_t action = pick(3);
    if (action == 0) {
      list.AddFile(name, big);
    } else if (!expected.empty()) {
      TFileEntry* victim = expected[pick(expected.size())];
      TFileEntry* follower = victim->Next();
      ASSERT_EQ(list.RemoveFileEntry(victim, big), follower);
    }
    ASSERT_EQ(list.RemoveFileEntry(foreign, big), nullptr);  // not in this chain
  }
  std::size_t length = 0;
  for (TFileEntry* e = big->Files(); e != nullptr; e = e->Next())
    ++length;
  EXPECT_EQ(list.FileCount(), length + 1);
  EXPECT_EQ(list.FindFile(other, "N1"), foreign);
}

TEST(TDDList, AppendSubdirectoriesListsTheChildrenOfARecord) {
  TDDList list;
  TDirectoryRecord* c = list.AddDirectory("C:", nullptr);
  TDirectoryRecord* a = list.AddDirectory("A", c);
  TDirectoryRecord* b = list.AddDirectory("B", c);
  TDirectoryRecord* aa = list.AddDirectory("AA", a);
  std::vector<TDirectoryRecord*> children;
  list.AppendSubdirectories(c, children);
  std::sort(children.begin(), children.end());
  std::vector<TDirectoryRecord*> expected{a, b};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(children, expected);

  list.MoveDirectory(aa, "AA", b);
  children.clear();
  list.AppendSubdirectories(a, children);
  EXPECT_TRUE(children.empty());
  list.AppendSubdirectories(b, children);
  EXPECT_EQ(children, std::vector<TDirectoryRecord*>{aa});
}

TEST(TDDList, PlacedRecordsTakeTheirNewPlaceInTheChainAndInLookups) {
  TDDList list;
  TDirectoryRecord* root = list.AddDirectory("C:", nullptr);
  TDirectoryRecord* first = list.AddDirectory("T", root);
  list.AddDirectory("A", root);
  TDirectoryRecord* second = list.AddDirectory("T", root);
  EXPECT_EQ(list.FindDirectory("T", root), first);
  list.PlaceBefore(second, first);
  EXPECT_EQ(ChainNames(list), (std::vector<std::string>{"C:", "T", "T", "A"}));
  EXPECT_EQ(list.FindDirectory("T", root), second);
  std::vector<TDirectoryRecord*> twins;
  list.DirectoriesNamed("T", root, twins);
  EXPECT_EQ(twins, (std::vector<TDirectoryRecord*>{second, first}));
  list.PlaceAfter(second, list.FindDirectory("A", root));
  EXPECT_EQ(list.FindDirectory("T", root), first);
  EXPECT_EQ(second->Next(), nullptr);  // the new tail: adding goes behind it
  list.AddDirectory("Z", root);
  EXPECT_EQ(ChainNames(list), (std::vector<std::string>{"C:", "T", "A", "T", "Z"}));
}

TEST(TDDList, PlacingRecordsBetweenCloseNeighboursKeepsTheChainOrdered) {
  // Each record goes directly before the last one placed: the room between
  // two neighbours' orders halves every time, until the chain is numbered
  // anew.
  TDDList list;
  TDirectoryRecord* root = list.AddDirectory("C:", nullptr);
  TDirectoryRecord* next = list.AddDirectory("END", root);
  std::vector<std::string> expected{"C:"};
  for (int i = 0; i < 40; ++i) {
    TDirectoryRecord* record = list.AddDirectory("D" + std::to_string(i), root);
    list.PlaceBefore(record, next);
    next = record;
    expected.insert(expected.begin() + 1, "D" + std::to_string(i));
  }
  expected.push_back("END");
  EXPECT_EQ(ChainNames(list), expected);
  for (const TDirectoryRecord* d = list.FirstDirectory(); d->Next() != nullptr; d = d->Next())
    EXPECT_LT(TDDList::ChainOrder(d), TDDList::ChainOrder(d->Next())) << d->Name();
  TDirectoryRecord* last = list.AddDirectory("LAST", root);
  EXPECT_LT(TDDList::ChainOrder(list.FindDirectory("END", root)), TDDList::ChainOrder(last));
}

}  // namespace
}  // namespace varnoke
