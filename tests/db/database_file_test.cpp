#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "db/crc32.h"
#include "db/memory_db.h"
#include "db/pending_load.h"
#include "db/terminate.h"
#include "tests/support/recording_observer.h"
#include "tests/support/test_host.h"
#include "tests/support/tree_builder.h"
#include "tests/support/tree_dump.h"

namespace varnoke {
namespace {

using testing::AddFilePath;
using testing::DumpTree;
using Lines = std::vector<std::string>;

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (const int v : values)
    bytes.push_back(static_cast<char>(v));
  return bytes;
}

std::string Int32(std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  return Bytes({static_cast<int>(u & 0xFF), static_cast<int>((u >> 8) & 0xFF),
                static_cast<int>((u >> 16) & 0xFF), static_cast<int>(u >> 24)});
}

std::string Name(const std::string& name) {
  return Int32(static_cast<std::int32_t>(name.size())) + name;
}

std::uint32_t Crc(const std::string& image) {
  return StreamCRC32(image.data(), image.size());
}

class DatabaseFileTest : public ::testing::Test {
 protected:
  DatabaseFileTest() { host.drives.Set('C', platform::TDriveType::Fixed); }

  void Build(std::initializer_list<const char*> paths) {
    std::lock_guard guard(db.Lock);
    for (const char* path : paths)
      AddFilePath(db, path);
  }
  bool Save(TMemoryDB& target) {
    target.LoadFromFile("memdb.dat");  // sets the file name; the result does not matter here
    return target.SaveToFile();
  }
  std::uint32_t StoredCrc() {
    return host.settings.ReadDWORDSetting(settings::SettingsKey, "CRC32");
  }
  void StoreCrc(std::uint32_t crc) {
    host.settings.WriteDWORDSetting(settings::SettingsKey, "CRC32", crc);
  }
  // Puts an image in place as memdb.dat with a matching CRC.
  void Plant(const std::string& image) {
    host.dataFiles.files["memdb.dat"] = image;
    StoreCrc(Crc(image));
  }
  std::string File() { return host.dataFiles.files["memdb.dat"]; }

  testing::TTestHost host;
  TMemoryDB db{host.Services()};
};

TEST(StreamCRC32, GivesThePublishedCheckValues) {
  EXPECT_EQ(StreamCRC32("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(StreamCRC32("", 0), 0x00000000u);
  const std::string empty = Int32(0);
  EXPECT_EQ(Crc(empty), 0x2144DF1Cu);
  // Every length, across the eight-byte steps and the 64-byte folds, and
  // every alignment agree with the plain bytewise definition.
  std::string data;
  std::uint32_t seed = 1;
  for (int i = 0; i < 600; ++i) {
    seed = seed * 1103515245u + 12345u;
    data.push_back(static_cast<char>(seed >> 16));
  }
  for (std::size_t offset = 0; offset < 3; ++offset) {
    for (std::size_t length = 0; length + offset <= data.size();
         length += (length < 300 ? 1 : 37)) {
      std::uint32_t bytewise = 0xFFFFFFFFu;
      for (std::size_t k = 0; k < length; ++k) {
        bytewise ^= static_cast<unsigned char>(data[offset + k]);
        for (int b = 0; b < 8; ++b)
          bytewise = (bytewise & 1) ? 0xEDB88320u ^ (bytewise >> 1) : bytewise >> 1;
      }
      ASSERT_EQ(StreamCRC32(data.data() + offset, length), ~bytewise) << offset << "+" << length;
    }
  }
}

TEST(StreamCRC32, ExtendsPieceByPiece) {
  std::string data;
  std::uint32_t seed = 7;
  for (int i = 0; i < 5000; ++i) {
    seed = seed * 1103515245u + 12345u;
    data.push_back(static_cast<char>(seed >> 16));
  }
  const std::uint32_t whole = StreamCRC32(data.data(), data.size());
  // Cuts at every kind of place: before, inside and after the 64-byte folds.
  for (const std::size_t piece : {1u, 7u, 63u, 64u, 65u, 1000u, 4999u}) {
    std::uint32_t crc = 0;
    for (std::size_t at = 0; at < data.size(); at += piece)
      crc = ExtendCRC32(crc, data.data() + at, std::min(piece, data.size() - at));
    EXPECT_EQ(crc, whole) << piece;
  }
}

TEST_F(DatabaseFileTest, SavesTheSingleFileExampleByteForByte) {
  Build({"C:\\A.TXT"});
  ASSERT_TRUE(Save(db));
  const std::string expected = Int32(1) + Name("C:") + Int32(0) + Int32(1) + Name("A.TXT");
  EXPECT_EQ(File(), expected);
  EXPECT_EQ(File().size(), 27u);
  EXPECT_EQ(StoredCrc(), 0xD1F020DEu);
}

TEST_F(DatabaseFileTest, SavesAndLoadsAnEmptyTree) {
  ASSERT_TRUE(Save(db));
  EXPECT_EQ(File(), Int32(0));
  EXPECT_EQ(StoredCrc(), 0x2144DF1Cu);
  Build({"C:\\X"});
  ASSERT_TRUE(db.LoadFromFile("memdb.dat"));
  EXPECT_EQ(DumpTree(db), Lines{});
}

TEST_F(DatabaseFileTest, RoundTripsTheTreeAndReversesEachDirectorysFiles) {
  Build({"C:\\WINDOWS\\WIN.INI", "C:\\WINDOWS\\SYSTEM.INI", "C:\\WINDOWS\\SYSTEM\\VGA.DRV",
         "C:\\A.TXT", "C:\\B.TXT", "D:\\DATA\\X"});
  const Lines before{"C:\\ B.TXT A.TXT", "C:\\WINDOWS\\ SYSTEM.INI WIN.INI",
                     "C:\\WINDOWS\\SYSTEM\\ VGA.DRV", "D:\\", "D:\\DATA\\ X"};
  ASSERT_EQ(DumpTree(db), before);
  ASSERT_TRUE(Save(db));
  const std::string first = File();
  TMemoryDB loaded(host.Services());
  ASSERT_TRUE(loaded.LoadFromFile("memdb.dat"));
  EXPECT_EQ(DumpTree(loaded), (Lines{"C:\\ A.TXT B.TXT", "C:\\WINDOWS\\ WIN.INI SYSTEM.INI",
                                     "C:\\WINDOWS\\SYSTEM\\ VGA.DRV", "D:\\", "D:\\DATA\\ X"}));
  // The second save writes the names the other way round, and its load
  // gives the first order back.
  ASSERT_TRUE(loaded.SaveToFile());
  EXPECT_NE(File(), first);
  EXPECT_EQ(File().size(), first.size());
  TMemoryDB again(host.Services());
  ASSERT_TRUE(again.LoadFromFile("memdb.dat"));
  EXPECT_EQ(DumpTree(again), before);
}

TEST_F(DatabaseFileTest, ResolvesParentIndexesThatReferToLaterRecords) {
  // SUB (record 1) lies under C: (record 2).
  Plant(Int32(2) + Name("SUB") + Int32(2) + Int32(1) + Name("F.TXT") + Name("C:") + Int32(0) +
        Int32(0));
  ASSERT_TRUE(db.LoadFromFile("memdb.dat"));
  EXPECT_EQ(DumpTree(db), (Lines{"C:\\SUB\\ F.TXT", "C:\\"}));
}

TEST_F(DatabaseFileTest, CountsOfZeroOrBelowReadNothing) {
  Plant(Int32(-5));
  EXPECT_TRUE(db.LoadFromFile("memdb.dat"));
  Plant(Int32(1) + Name("C:") + Int32(0) + Int32(-1));
  ASSERT_TRUE(db.LoadFromFile("memdb.dat"));
  EXPECT_EQ(DumpTree(db), Lines{"C:\\"});
}

TEST_F(DatabaseFileTest, RefusesFilesThatAreMissingEmptyOrDoNotMatchTheirCrc) {
  Build({"C:\\KEEP"});
  EXPECT_FALSE(db.LoadFromFile("memdb.dat"));  // missing
  EXPECT_EQ(db.FileName(), "memdb.dat");
  Plant("");
  EXPECT_FALSE(db.LoadFromFile("memdb.dat"));  // empty, whatever CRC32 holds
  Plant(Int32(1) + Name("C:") + Int32(0) + Int32(1) + Name("A.TXT"));
  for (std::size_t i = 0; i < 27; ++i) {
    std::string damaged = File();
    damaged[i] = static_cast<char>(damaged[i] ^ 0x40);
    host.dataFiles.files["memdb.dat"] = damaged;
    EXPECT_FALSE(db.LoadFromFile("memdb.dat")) << "byte " << i;
  }
  Plant(Int32(0));
  StoreCrc(0x12345678);
  EXPECT_FALSE(db.LoadFromFile("memdb.dat"));
  EXPECT_EQ(DumpTree(db), Lines{"C:\\ KEEP"});
}

TEST_F(DatabaseFileTest, ACrcThatCannotBeReadReachesTheCaller) {
  Build({"C:\\KEEP"});
  host.dataFiles.files["memdb.dat"] = Int32(0);
  EXPECT_THROW(db.LoadFromFile("memdb.dat"), settings::ERegistry);  // no CRC32 yet
  EXPECT_EQ(DumpTree(db), Lines{"C:\\ KEEP"});
}

// A file read on a thread of its own while the program starts is put in
// place as a load of it would be; one of another file is not used.
TEST_F(DatabaseFileTest, APendingLoadGivesWhatALoadGives) {
  Build({"C:\\WINDOWS\\WIN.INI", "C:\\A.TXT", "D:\\DATA\\X"});
  ASSERT_TRUE(Save(db));
  TMemoryDB plain(host.Services());
  ASSERT_TRUE(plain.LoadFromFile("memdb.dat"));
  TPendingLoad pending(host.Services(), "memdb.dat");
  TMemoryDB early(host.Services());
  ASSERT_TRUE(early.LoadFromFile("memdb.dat", &pending));
  EXPECT_EQ(DumpTree(early), DumpTree(plain));
  EXPECT_EQ(early.LastFileReport().Outcome, TFileOutcome::Loaded);

  TPendingLoad other(host.Services(), "other.dat");
  TMemoryDB notOther(host.Services());
  ASSERT_TRUE(notOther.LoadFromFile("memdb.dat", &other));
  EXPECT_EQ(DumpTree(notOther), DumpTree(plain));
}

TEST_F(DatabaseFileTest, APendingLoadsFailureReachesTheCallerAsALoadsWould) {
  Build({"C:\\KEEP"});
  {
    TPendingLoad missing(host.Services(), "memdb.dat");
    EXPECT_FALSE(db.LoadFromFile("memdb.dat", &missing));
    EXPECT_EQ(db.LastFileReport().Outcome, TFileOutcome::Missing);
  }
  host.dataFiles.files["memdb.dat"] = Int32(0);
  TPendingLoad noCrc(host.Services(), "memdb.dat");
  EXPECT_THROW(db.LoadFromFile("memdb.dat", &noCrc), settings::ERegistry);  // no CRC32 yet
  EXPECT_EQ(DumpTree(db), Lines{"C:\\ KEEP"});
}

// Images whose CRC matches but that this system never writes: none loads,
// none is read outside its bytes, and the tree stays as it was.
TEST_F(DatabaseFileTest, RefusesMalformedImagesEvenWithAMatchingCrc) {
  Build({"C:\\KEEP"});
  const std::string root = Name("C:") + Int32(0);
  const std::string cases[] = {
      Int32(1).substr(0, 3),                              // count cut short
      Int32(1),                                           // record missing
      Int32(1) + Int32(2) + "C",                          // name runs past the end
      Int32(1) + Int32(-2) + "C:" + Int32(0) + Int32(0),  // negative name length
      Int32(1) + Int32(0) + Int32(0) + Int32(0),          // empty name
      Int32(1) + Int32(5000) + std::string(5000, 'N') + Int32(0) + Int32(0),  // name too long
      Int32(1) + root,                                                        // file count missing
      Int32(1) + root + Int32(3) + Name("A"),                                 // files missing
      Int32(1) + Name("C:") + Int32(2) + Int32(0),   // parent beyond the count
      Int32(1) + Name("C:") + Int32(-1) + Int32(0),  // negative parent
      Int32(1) + Name("C:") + Int32(1) + Int32(0),   // its own parent
      Int32(2) + Name("A") + Int32(2) + Int32(0) + Name("B") + Int32(1) + Int32(0),  // a loop
      Int32(1) + root + Int32(0) + "X",                           // bytes left over
      Int32(1) + root + Int32(1) + Name(std::string("A\0B", 3)),  // a NUL in a name
      Int32(1) + root + Int32(1) + Name("A\\B"),                  // a backslash in a name
      Int32(0x7FFFFFFF) + root + Int32(0),                        // a count far too big
      Int32(1) + root + Int32(0x7FFFFFFF) + Name("A"),            // a file count far too big
  };
  for (const std::string& image : cases) {
    Plant(image);
    EXPECT_FALSE(db.LoadFromFile("memdb.dat")) << ::testing::PrintToString(image);
  }
  EXPECT_EQ(DumpTree(db), Lines{"C:\\ KEEP"});
}

// Every record names a parent that comes after it: a chain as deep as the
// file is long, which loads as it stands; the same chain closed into a
// loop at its far end, or ending in a loop it never leaves, is refused.
TEST_F(DatabaseFileTest, LoadsParentsThatComeLaterAndFindsLoopsAtAnyDepth) {
  constexpr int kDepth = 40000;
  const auto chain = [&](int lastParent) {
    std::string image = Int32(kDepth);
    for (int k = 1; k < kDepth; ++k) {
      image += Name("D" + std::to_string(k)) + Int32(k + 1);
      image += k == 1 ? Int32(1) + Name("LEAF") : Int32(0);
    }
    return image + Name("C:") + Int32(lastParent) + Int32(0);
  };
  Build({"C:\\KEEP"});
  for (const int lastParent : {1, kDepth / 2}) {
    Plant(chain(lastParent));
    EXPECT_FALSE(db.LoadFromFile("memdb.dat")) << "loop back to " << lastParent;
  }
  EXPECT_EQ(DumpTree(db), Lines{"C:\\ KEEP"});

  Plant(chain(0));
  ASSERT_TRUE(db.LoadFromFile("memdb.dat"));
  db.Search("LEAF");
  ASSERT_EQ(db.ResultCount(), 1);
  std::string expected = "C:\\";
  for (int k = kDepth - 1; k >= 1; --k)
    expected += "D" + std::to_string(k) + "\\";
  EXPECT_TRUE(db.ResultFullPath(0) == expected + "LEAF");  // too long to print
}

TEST_F(DatabaseFileTest, ALoadEmptiesTheRowsThatPointedIntoTheOldTree) {
  Build({"C:\\A.TXT"});
  ASSERT_TRUE(Save(db));
  db.Search("*");
  ASSERT_EQ(db.ResultCount(), 1);
  ASSERT_TRUE(db.LoadFromFile("memdb.dat"));
  EXPECT_EQ(db.ResultCount(), 0);
}

TEST_F(DatabaseFileTest, AReadOnlyFileIsNotReplacedAndStillLoads) {
  Build({"C:\\OLD"});
  ASSERT_TRUE(Save(db));
  const std::string old = File();
  host.dataFiles.readOnly.insert("memdb.dat");
  Build({"C:\\NEW"});
  EXPECT_FALSE(db.SaveToFile());
  EXPECT_EQ(File(), old);
  TMemoryDB loaded(host.Services());
  ASSERT_TRUE(loaded.LoadFromFile("memdb.dat"));
  EXPECT_EQ(DumpTree(loaded), Lines{"C:\\ OLD"});
}

// A failure at each step of a save says so, says why, and leaves the old
// file with its own CRC: it loads as the old tree, and no temporary stays.
TEST_F(DatabaseFileTest, AFailureAtAnyStepOfASaveKeepsTheOldFileLoadable) {
  struct Step {
    const char* name;
    bool testing::TMemoryDataFiles::*flag;
    const char* reason;
  } steps[] = {{"create", &testing::TMemoryDataFiles::failCreate, "cannot create"},
               {"write", &testing::TMemoryDataFiles::failWrite, "No space left on device"},
               {"flush", &testing::TMemoryDataFiles::failFlush, "cannot flush"},
               {"commit", &testing::TMemoryDataFiles::failCommit, "cannot rename"}};
  Build({"C:\\OLD"});
  ASSERT_TRUE(Save(db));
  const std::string old = File();
  const std::uint32_t oldCrc = StoredCrc();
  Build({"C:\\NEW"});
  for (const Step& step : steps) {
    host.dataFiles.*(step.flag) = true;
    EXPECT_FALSE(db.SaveToFile()) << step.name;
    host.dataFiles.*(step.flag) = false;
    const TFileReport report = db.LastFileReport();
    EXPECT_EQ(report.Outcome, TFileOutcome::NotSaved) << step.name;
    EXPECT_NE(report.Reason.find(step.reason), std::string::npos) << report.Reason;
    EXPECT_EQ(File(), old) << step.name;
    EXPECT_EQ(StoredCrc(), oldCrc) << step.name;
    EXPECT_EQ(host.dataFiles.pending, 0) << step.name;
    TMemoryDB loaded(host.Services());
    ASSERT_TRUE(loaded.LoadFromFile("memdb.dat")) << step.name;
    EXPECT_EQ(DumpTree(loaded), Lines{"C:\\ OLD"}) << step.name;
  }
  host.registry.unwritable = true;  // the CRC cannot be stored
  EXPECT_FALSE(db.SaveToFile());
  host.registry.unwritable = false;
  EXPECT_NE(db.LastFileReport().Reason.find("the disk is full"), std::string::npos);
  EXPECT_EQ(File(), old);
  EXPECT_EQ(StoredCrc(), oldCrc);
  EXPECT_EQ(host.dataFiles.pending, 0);
  TMemoryDB loaded(host.Services());
  ASSERT_TRUE(loaded.LoadFromFile("memdb.dat"));
  EXPECT_EQ(loaded.LastFileReport().Outcome, TFileOutcome::Loaded);
  EXPECT_TRUE(db.SaveToFile());
  EXPECT_EQ(db.LastFileReport().Outcome, TFileOutcome::Saved);
}

TEST_F(DatabaseFileTest, SaysWhyALoadFailed) {
  EXPECT_FALSE(db.LoadFromFile("memdb.dat"));
  EXPECT_EQ(db.LastFileReport().Outcome, TFileOutcome::Missing);
  Plant(Int32(0));
  host.dataFiles.failRead = true;
  EXPECT_FALSE(db.LoadFromFile("memdb.dat"));
  EXPECT_EQ(db.LastFileReport().Outcome, TFileOutcome::Unreadable);
  EXPECT_NE(db.LastFileReport().Reason.find("Permission denied"), std::string::npos);
  host.dataFiles.failRead = false;
  StoreCrc(1);
  EXPECT_FALSE(db.LoadFromFile("memdb.dat"));
  EXPECT_EQ(db.LastFileReport().Outcome, TFileOutcome::Damaged);
  EXPECT_EQ(db.LastFileReport().Reason, "the file does not match its checksum");
  // Longer than its counts describe: refused while it is read.
  Plant(Int32(0) + std::string(100, '\0'));
  EXPECT_FALSE(db.LoadFromFile("memdb.dat"));
  EXPECT_EQ(db.LastFileReport().Outcome, TFileOutcome::Damaged);
  EXPECT_NE(db.LastFileReport().Reason.find("longer than the tree it holds"), std::string::npos);
}

// A save by another process may change the CRC as soon as the reader lets
// go of the file: the CRC must have been read by then.
TEST_F(DatabaseFileTest, ReadsTheFileAndItsCrcUnderOneLock) {
  Build({"C:\\A.TXT"});
  ASSERT_TRUE(Save(db));
  std::vector<std::string> order;
  host.dataFiles.onStep = [&](const std::string& step) {
    order.push_back(step);
    if (step == "unlock") StoreCrc(0);
  };
  TMemoryDB loaded(host.Services());
  EXPECT_TRUE(loaded.LoadFromFile("memdb.dat"));
  EXPECT_EQ(order, (std::vector<std::string>{"lock", "read", "unlock"}));
}

TEST_F(DatabaseFileTest, AScanThatFindsNoDriveNeverReplacesTheSavedDatabase) {
  host.files.AddFile("C:\\A.TXT");
  testing::TRecordingObserver observer;
  ASSERT_TRUE(db.ScanDrives("memdb.dat", observer));
  EXPECT_TRUE(db.SavedByLastScan());
  const std::string saved = File();

  host.drives.Set('C', platform::TDriveType::Unknown);  // the drive link points nowhere
  ASSERT_TRUE(db.ScanDrives("memdb.dat", observer));
  EXPECT_FALSE(db.SavedByLastScan());
  EXPECT_EQ(db.LastFileReport().Outcome, TFileOutcome::NoDrive);
  EXPECT_EQ(File(), saved);
  // Nor does a later save of that empty tree, such as the one at shut-down.
  EXPECT_FALSE(db.SaveToFile());
  EXPECT_EQ(File(), saved);

  // A fixed drive whose root cannot be listed counts as none.
  host.drives.Set('C', platform::TDriveType::Fixed);
  host.files.FailListing("C:\\");
  ASSERT_TRUE(db.ScanDrives("memdb.dat", observer));
  EXPECT_FALSE(db.SavedByLastScan());
  EXPECT_EQ(File(), saved);

  // A load brings back a tree worth saving.
  ASSERT_TRUE(db.LoadFromFile("memdb.dat"));
  EXPECT_TRUE(db.SaveToFile());
}

TEST_F(DatabaseFileTest, StoresTheCrcAfterTheFileIsFlushedAndBeforeItIsInPlace) {
  Build({"C:\\X"});
  db.LoadFromFile("memdb.dat");
  std::vector<std::string> order;
  host.dataFiles.onStep = [&](const std::string& step) {
    std::string entry = step;
    try {
      entry += host.settings.ReadDWORDSetting(settings::SettingsKey, "CRC32") != 0 ? "+crc" : "";
    } catch (const settings::ERegistry&) {
    }
    order.push_back(entry);
  };
  ASSERT_TRUE(db.SaveToFile());
  EXPECT_EQ(order, (std::vector<std::string>{"create", "write", "flush", "commit+crc"}));
}

TEST_F(DatabaseFileTest, AScanEndsBySavingItsTreeAndACancelledOneSavesNothing) {
  host.files.AddFile("C:\\A.TXT");
  testing::TRecordingObserver observer;
  ASSERT_TRUE(db.ScanDrives("memdb.dat", observer));
  EXPECT_EQ(File(), Int32(1) + Name("C:") + Int32(0) + Int32(1) + Name("A.TXT"));
  EXPECT_EQ(StoredCrc(), 0xD1F020DEu);

  host.files.AddFile("C:\\B.TXT");
  observer.OnMessages = [&] { db.ScanCancelRequested = true; };
  EXPECT_THROW(db.ScanDrives("memdb.dat", observer), ETerminate);
  EXPECT_EQ(StoredCrc(), 0xD1F020DEu);
  EXPECT_EQ(File().size(), 27u);
}

}  // namespace
}  // namespace varnoke
