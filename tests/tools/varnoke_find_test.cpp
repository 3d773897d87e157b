// varnoke-find end to end: the real program on a temporary drive, with a
// settings hive and drive map of its own.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>

#include "db/memory_db.h"
#include "live/live_protocol.h"
#include "live/live_server.h"
#include "platform/hive/hive_file.h"
#include "platform/messages.h"
#include "platform/unique_fd.h"
#include "tests/support/disk_files.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_host.h"
#include "tests/support/tree_builder.h"

namespace varnoke {
namespace {

class VarnokeFindTest : public ::testing::Test {
 protected:
  VarnokeFindTest() {
    for (const char* folder : {"/config", "/config/varnoke", "/config/varnoke/dosdevices",
                               "/install", "/disk", "/scratch"}) {
      ::mkdir((temp.Path() + folder).c_str(), 0755);
    }
    ::symlink(Disk().c_str(), (temp.Path() + "/config/varnoke/dosdevices/c:").c_str());
    SetSettings(true);
  }

  // The settings key, with or without Directory, and drive C: typed fixed.
  void SetSettings(bool withDirectory) {
    std::string problem;
    hive.Modify(
        [&](platform::THiveContents& contents) {
          contents.Keys.clear();
          platform::TRegKey& key = contents.FindOrAdd("HKEY_CLASSES_ROOT\\Varnoke\\Settings");
          if (withDirectory) {
            key.Set("Directory", platform::kRegSz, platform::StringData(temp.Path() + "/install"));
          }
          key.Set("SaveSuccessful", platform::kRegDword, platform::DwordData(1));
          contents.FindOrAdd("HKEY_LOCAL_MACHINE\\Software\\Varnoke\\Drives")
              .Set("c:", platform::kRegSz, platform::StringData("fixed"));
          return true;
        },
        problem);
  }

  std::string Disk() const { return temp.Path() + "/disk"; }
  std::string Database() const { return temp.Path() + "/install/memdb.dat"; }

  void MakeFile(const std::string& relative) const {
    testing::MakeFileBelow(Disk(), relative, "x");
  }

  void SetValue(const std::string& name, std::uint32_t type, std::vector<std::uint8_t> data) {
    std::string problem;
    hive.Modify(
        [&](platform::THiveContents& contents) {
          contents.FindOrAdd("HKEY_CLASSES_ROOT\\Varnoke\\Settings").Set(name, type, data);
          return true;
        },
        problem);
  }

  // As Find, ended after a while if it hangs (status 124).
  testing::TProcessResult FindWithin(const std::vector<std::string>& args) {
    std::vector<std::string> command{"30", VARNOKE_FIND_BINARY};
    command.insert(command.end(), args.begin(), args.end());
    return testing::RunProcess("/usr/bin/timeout", command,
                               {"XDG_CONFIG_HOME=" + temp.Path() + "/config"},
                               temp.Path() + "/scratch");
  }

  std::string DriveLink() const { return temp.Path() + "/config/varnoke/dosdevices/c:"; }

  testing::TProcessResult Find(const std::vector<std::string>& args) {
    return testing::RunProcess(VARNOKE_FIND_BINARY, args,
                               {"XDG_CONFIG_HOME=" + temp.Path() + "/config"},
                               temp.Path() + "/scratch");
  }

  void MakeTreeAndScan() {
    MakeFile("Program Files/App/MiXed.TxT");
    MakeFile("Program Files/App/setup.ini");
    MakeFile("Windows/win.ini");
    MakeFile("Windows/System/drv.ini");
    MakeFile("readme.txt");
    MakeFile("my.notes.txt");
    const testing::TProcessResult scan = Find({"--scan"});
    ASSERT_EQ(scan.status, 0) << scan.err;
    ASSERT_EQ(scan.out, "5 directories and 6 files in " + Database() + "\n");
  }

  testing::TTempDir temp;
  platform::THiveFile hive{temp.Path() + "/config/varnoke/registry.reg"};
};

TEST_F(VarnokeFindTest, ScansThenFindsWithEachKindOfPattern) {
  MakeTreeAndScan();
  // Not MY.NOTES.TXT: the star stops at the first ".".
  EXPECT_EQ(Find({"--drive-form", "*.TXT"}).out,
            "C:\\README.TXT\nC:\\PROGRAM FILES\\APP\\MIXED.TXT\n");
  EXPECT_EQ(
      Find({"*.ini", "--sort", "path", "--drive-form"}).out,
      "C:\\PROGRAM FILES\\APP\\SETUP.INI\nC:\\WINDOWS\\SYSTEM\\DRV.INI\nC:\\WINDOWS\\WIN.INI\n");
  EXPECT_EQ(Find({"--drive-form", "c:\\windows\\*.ini"}).out,
            "C:\\WINDOWS\\WIN.INI\nC:\\WINDOWS\\SYSTEM\\DRV.INI\n");
  EXPECT_EQ(Find({"--drive-form", ".sys*"}).out, "C:\\WINDOWS\\SYSTEM\n");
  EXPECT_EQ(Find({"--drive-form", ".C:"}).out, "C:\\\n");
  const testing::TProcessResult none = Find({"*.EXE"});
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(Find({"*.TXT"}).status, 0);
}

TEST_F(VarnokeFindTest, SortsCountsAndEndsLinesWithNul) {
  MakeTreeAndScan();
  EXPECT_EQ(
      Find({"--sort=name", "--drive-form", "*.INI"}).out,
      "C:\\WINDOWS\\SYSTEM\\DRV.INI\nC:\\PROGRAM FILES\\APP\\SETUP.INI\nC:\\WINDOWS\\WIN.INI\n");
  EXPECT_EQ(Find({"--count", "*.INI"}).out, "3\n");
  const testing::TProcessResult zero = Find({"--count", "*.EXE"});
  EXPECT_EQ(zero.out, "0\n");
  EXPECT_EQ(zero.status, 1);
  const std::string nul(1, '\0');
  EXPECT_EQ(Find({"-0", "--drive-form", "--sort", "name", "*.INI"}).out,
            "C:\\WINDOWS\\SYSTEM\\DRV.INI" + nul + "C:\\PROGRAM FILES\\APP\\SETUP.INI" + nul +
                "C:\\WINDOWS\\WIN.INI" + nul);
}

TEST_F(VarnokeFindTest, PrintsHostPathsSpelledAsTheDiskSpellsThem) {
  MakeTreeAndScan();
  EXPECT_EQ(Find({"--host", "mixed.txt"}).out, Disk() + "/Program Files/App/MiXed.TxT\n");
  EXPECT_EQ(Find({"--host", ".app"}).out, Disk() + "/Program Files/App\n");
  EXPECT_EQ(Find({"--host", ".c:"}).out, Disk() + "\n");
}

// The lines of an output, sorted: twins come in the disk's listing order,
// which the file system chooses.
std::vector<std::string> SortedLines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t begin = 0; begin < text.size();) {
    const std::size_t end = text.find('\n', begin);
    lines.push_back(text.substr(begin, end - begin));
    if (end == std::string::npos) break;
    begin = end + 1;
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

TEST_F(VarnokeFindTest, NamesThatDifferOnlyInCaseEachPrintTheirOwnHostPath) {
  MakeFile("a.txt");
  MakeFile("A.TXT");
  MakeFile("case/D/upper.txt");
  MakeFile("case/D/same.txt");
  MakeFile("case/d/lower.txt");
  MakeFile("case/d/SAME.TXT");
  MakeFile("case/d/deeper/x.txt");
  const testing::TProcessResult scan = Find({"--scan"});
  ASSERT_EQ(scan.status, 0) << scan.err;

  EXPECT_EQ(SortedLines(Find({"--host", "a.txt"}).out),
            (std::vector<std::string>{Disk() + "/A.TXT", Disk() + "/a.txt"}));
  EXPECT_EQ(SortedLines(Find({"--host", "same.txt"}).out),
            (std::vector<std::string>{Disk() + "/case/D/same.txt", Disk() + "/case/d/SAME.TXT"}));
  EXPECT_EQ(SortedLines(Find({"--host", ".d"}).out),
            (std::vector<std::string>{Disk() + "/case/D", Disk() + "/case/d"}));
  EXPECT_EQ(Find({"--host", "x.txt"}).out, Disk() + "/case/d/deeper/x.txt\n");

  // A path below the twins covers both of them.
  EXPECT_EQ(SortedLines(Find({"--drive-form", "C:\\CASE\\D\\*"}).out),
            (std::vector<std::string>{"C:\\CASE\\D\\DEEPER\\X.TXT", "C:\\CASE\\D\\LOWER.TXT",
                                      "C:\\CASE\\D\\SAME.TXT", "C:\\CASE\\D\\SAME.TXT",
                                      "C:\\CASE\\D\\UPPER.TXT"}));
  EXPECT_EQ(SortedLines(Find({"--host", "c:\\case\\d\\*"}).out),
            (std::vector<std::string>{Disk() + "/case/D/same.txt", Disk() + "/case/D/upper.txt",
                                      Disk() + "/case/d/SAME.TXT", Disk() + "/case/d/deeper/x.txt",
                                      Disk() + "/case/d/lower.txt"}));
}

TEST_F(VarnokeFindTest, AFolderBesideAFileOfTheSameNamePrintsAsTheFolder) {
  MakeFile("Docs/inside.txt");
  MakeFile("DOCS");
  const testing::TProcessResult scan = Find({"--scan"});
  ASSERT_EQ(scan.status, 0) << scan.err;
  EXPECT_EQ(Find({"--host", "inside.txt"}).out, Disk() + "/Docs/inside.txt\n");
  EXPECT_EQ(Find({"--host", "docs"}).out, Disk() + "/DOCS\n");
  EXPECT_EQ(Find({"--host", ".docs"}).out, Disk() + "/Docs\n");
  EXPECT_EQ(Find({"--host", "c:\\docs\\*"}).out, Disk() + "/Docs/inside.txt\n");
}

TEST_F(VarnokeFindTest, RefusesADamagedDatabaseAndSaysWhatToDo) {
  MakeTreeAndScan();
  std::fstream file(Database(), std::ios::in | std::ios::out | std::ios::binary);
  file.seekp(10);
  file.put('\x7F');
  file.close();
  const testing::TProcessResult result = Find({"*"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "varnoke-find: the database does not match its checksum or is damaged: " +
                            Database() + "; run 'varnoke-find --scan' to build it\n");
}

TEST_F(VarnokeFindTest, SaysSoWhenThereIsNoDatabaseYet) {
  const testing::TProcessResult result = Find({"*"});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("there is no database yet"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("varnoke-find --scan"), std::string::npos);
}

TEST_F(VarnokeFindTest, PrintsTheMessageOfASettingThatCannotBeRead) {
  SetSettings(false);
  const testing::TProcessResult result = Find({"*"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, "varnoke-find: " +
                            platform::FormatMessage(platform::kMsgValueNotOpened,
                                                    {"Directory", "Varnoke\\Settings"}) +
                            "\n");
}

TEST_F(VarnokeFindTest, LeavesSaveSuccessfulAsItWas) {
  MakeTreeAndScan();
  Find({"*"});
  const platform::THiveRead read = hive.Read();
  ASSERT_TRUE(read.Readable);
  EXPECT_EQ(
      read.Contents.Find("HKEY_CLASSES_ROOT\\Varnoke\\Settings")->Find("SaveSuccessful")->Data,
      platform::DwordData(1));
}

TEST_F(VarnokeFindTest, AScanWhoseSaveFailsSaysSoAndKeepsTheOldDatabase) {
  MakeTreeAndScan();
  // A folder where the file should be cannot be replaced, even by root.
  const std::string saved = testing::ReadWhole(Database());
  ::rename(Database().c_str(), (Database() + ".kept").c_str());
  ::mkdir(Database().c_str(), 0755);
  std::ofstream(Database() + "/inside") << "x";
  MakeFile("new.txt");
  testing::TProcessResult scan = Find({"--scan"});
  EXPECT_EQ(scan.status, 2);
  EXPECT_EQ(scan.out, "");
  EXPECT_NE(scan.err.find("could not be saved: cannot replace " + Database() +
                          ": it is not a regular file"),
            std::string::npos)
      << scan.err;
  ::unlink((Database() + "/inside").c_str());
  ::rmdir(Database().c_str());
  ::rename((Database() + ".kept").c_str(), Database().c_str());

  if (::geteuid() == 0) return;  // the rest needs permissions that bite
  ::chmod((temp.Path() + "/install").c_str(), 0555);
  scan = Find({"--scan"});
  ::chmod((temp.Path() + "/install").c_str(), 0755);
  EXPECT_EQ(scan.status, 2);
  EXPECT_NE(scan.err.find("Permission denied"), std::string::npos) << scan.err;
  EXPECT_EQ(testing::ReadWhole(Database()), saved);
  EXPECT_EQ(Find({"new.txt"}).status, 1);  // the old database still loads
}

TEST_F(VarnokeFindTest, AScanThatFindsNoDriveKeepsTheSavedDatabase) {
  MakeTreeAndScan();
  ::unlink(DriveLink().c_str());
  ::symlink((temp.Path() + "/nowhere").c_str(), DriveLink().c_str());
  const testing::TProcessResult scan = Find({"--scan"});
  EXPECT_EQ(scan.status, 2);
  EXPECT_NE(scan.err.find("no fixed drive was found, so " + Database() + " was left as it was"),
            std::string::npos)
      << scan.err;
  EXPECT_EQ(Find({"--drive-form", "*.TXT"}).out,
            "C:\\README.TXT\nC:\\PROGRAM FILES\\APP\\MIXED.TXT\n");
}

TEST_F(VarnokeFindTest, RefusesPipesInsteadOfWaitingOnThem) {
  ::mkfifo(Database().c_str(), 0600);
  testing::TProcessResult result = FindWithin({"*"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, "varnoke-find: the database " + Database() +
                            " cannot be read: cannot read " + Database() +
                            ": it is not a regular file\n");
  const std::string settings = temp.Path() + "/config/varnoke/registry.reg";
  ::unlink(settings.c_str());
  ::mkfifo(settings.c_str(), 0600);
  result = FindWithin({"*"});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.err.find("not a regular file"), std::string::npos) << result.err;
}

TEST_F(VarnokeFindTest, SaysWhyADatabaseCannotBeRead) {
  MakeTreeAndScan();
  ::chmod(Database().c_str(), 0);
  if (::geteuid() == 0) GTEST_SKIP() << "root may read any file";
  const testing::TProcessResult result = Find({"*"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, "varnoke-find: the database " + Database() +
                            " cannot be read: cannot open " + Database() + ": Permission denied\n");
}

TEST_F(VarnokeFindTest, RefusesADirectoryThatIsEmptyRelativeOrNotAText) {
  const std::string key = "Varnoke\\Settings";
  const struct {
    std::uint32_t type;
    std::vector<std::uint8_t> data;
    std::string why;
  } cases[] = {
      {platform::kRegSz, platform::StringData(""), "The folder name is empty"},
      {platform::kRegSz, platform::StringData("rel/dir"), "'rel/dir' is not an absolute path"},
      {platform::kRegDword, platform::DwordData(0), ""},
  };
  for (const auto& c : cases) {
    SetValue("Directory", c.type, c.data);
    const testing::TProcessResult result = Find({"*"});
    EXPECT_EQ(result.status, 2);
    const std::string expected =
        c.why.empty() ? platform::FormatMessage(platform::kMsgValueWrongType,
                                                {"Directory", key, "Null Terminated String"})
                      : platform::FormatMessage(platform::kMsgValueNotOpened, {"Directory", key});
    EXPECT_EQ(result.err.rfind("varnoke-find: " + expected, 0), 0u) << result.err;
    EXPECT_NE(result.err.find(c.why), std::string::npos) << result.err;
  }
}

TEST_F(VarnokeFindTest, PrintsHostPathsOfATreeThirtyThousandLevelsDeep) {
  constexpr int kDepth = 30000;
  {
    platform::TUniqueFd fd(::open(Disk().c_str(), O_RDONLY | O_DIRECTORY));
    for (int i = 0; i < kDepth; ++i) {
      ASSERT_EQ(::mkdirat(fd.Get(), "d", 0755), 0);
      fd.Reset(::openat(fd.Get(), "d", O_RDONLY | O_DIRECTORY));
    }
    platform::TUniqueFd file(::openat(fd.Get(), "deep.txt", O_WRONLY | O_CREAT, 0644));
  }
  ASSERT_EQ(Find({"--scan"}).status, 0);
  std::string expected = Disk();
  for (int i = 0; i < kDepth; ++i)
    expected += "/d";
  const testing::TProcessResult result = Find({"--host", "deep.txt"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_TRUE(result.out == expected + "/deep.txt\n") << result.out.size();
  // The tree's files go with the test's folder, whose removal walks it.
  std::system(("rm -rf '" + Disk() + "/d'").c_str());
}

TEST_F(VarnokeFindTest, RowsOfADriveThatIsGoneKeepTheirDriveForm) {
  MakeTreeAndScan();
  ::unlink(DriveLink().c_str());
  const testing::TProcessResult result = Find({"--host", "readme.txt"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "C:\\README.TXT\n");
  EXPECT_EQ(result.err, "varnoke-find: drive C: is gone; its rows are shown as saved\n");
}

TEST_F(VarnokeFindTest, SetupStoresTheInstallationFolderAsAnAbsolutePath) {
  std::string problem;
  hive.Modify(
      [](platform::THiveContents& contents) {
        contents.Keys.clear();
        return true;
      },
      problem);
  const std::vector<std::string> env{"XDG_CONFIG_HOME=" + temp.Path() + "/config"};
  const std::string scratch = temp.Path() + "/scratch";
  testing::TProcessResult result = testing::RunProcess(
      "/usr/bin/env", {"-C", scratch, VARNOKE_SETUP_BINARY, "--directory", ""}, env, scratch);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "varnoke-setup: the folder name is empty\n");
  result = testing::RunProcess("/usr/bin/env",
                               {"-C", scratch, VARNOKE_SETUP_BINARY, "--directory", "rel/./inst/"},
                               env, scratch);
  EXPECT_EQ(result.status, 0) << result.err;
  struct stat st {};
  EXPECT_EQ(::stat((scratch + "/rel/inst").c_str(), &st), 0);
  const platform::THiveRead read = hive.Read();
  ASSERT_TRUE(read.Readable);
  EXPECT_EQ(read.Contents.Find("HKEY_CLASSES_ROOT\\Varnoke\\Settings")->Find("Directory")->Data,
            platform::StringData(scratch + "/rel/inst"));
}

TEST_F(VarnokeFindTest, ExplainsBadArguments) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{},
                                               {""},
                                               {"--sort", "size", "*"},
                                               {"--frobnicate"},
                                               {"a", "b"},
                                               {"--scan", "*"}}) {
    const testing::TProcessResult result = Find(args);
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("usage: varnoke-find"), std::string::npos);
  }
  EXPECT_EQ(Find({"--help"}).status, 0);
  EXPECT_EQ(Find({"--version"}).out.rfind("varnoke-find ", 0), 0u);
  // After "--" an argument is a pattern even when it starts with "-".
  EXPECT_EQ(Find({"--", "-x"}).status, 2);  // no database yet, but a valid command
}

TEST_F(VarnokeFindTest, PrintsHostPathsUnlessAskedForTheDriveForm) {
  MakeTreeAndScan();
  const std::string host = Disk() + "/Program Files/App/MiXed.TxT\n";
  EXPECT_EQ(Find({"mixed.txt"}).out, host);
  // The last of --host and --drive-form counts.
  EXPECT_EQ(Find({"--drive-form", "--host", "mixed.txt"}).out, host);
  EXPECT_EQ(Find({"--host", "--drive-form", "mixed.txt"}).out,
            "C:\\PROGRAM FILES\\APP\\MIXED.TXT\n");
}

TEST_F(VarnokeFindTest, TakesLinuxPathsAsPatterns) {
  MakeTreeAndScan();
  // The rows of the drive-form pattern, whatever the letter case.
  const testing::TProcessResult windows = Find({Disk() + "/windows/*.INI"});
  EXPECT_EQ(windows.status, 0) << windows.err;
  EXPECT_EQ(windows.out, Find({"c:\\windows\\*.ini"}).out);
  EXPECT_EQ(windows.out, Disk() + "/Windows/win.ini\n" + Disk() + "/Windows/System/drv.ini\n");
  EXPECT_EQ(Find({"--drive-form", Disk() + "/Windows/System/../*.ini"}).out,
            "C:\\WINDOWS\\WIN.INI\nC:\\WINDOWS\\SYSTEM\\DRV.INI\n");
  // "~/" is the home folder.
  const testing::TProcessResult home = testing::RunProcess(
      VARNOKE_FIND_BINARY, {"--sort", "name", "~/App/*"},
      {"XDG_CONFIG_HOME=" + temp.Path() + "/config", "HOME=" + Disk() + "/Program Files"},
      temp.Path() + "/scratch");
  EXPECT_EQ(home.out,
            Disk() + "/Program Files/App/MiXed.TxT\n" + Disk() + "/Program Files/App/setup.ini\n");
}

TEST_F(VarnokeFindTest, SaysSoWhenALinuxPathsFolderIsOnNoDriveOrNotInTheDatabase) {
  MakeTreeAndScan();
  MakeFile(".hidden/inside.txt");
  const std::string outside = temp.Path() + "/scratch";
  testing::TProcessResult result = Find({outside + "/*.txt"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "varnoke-find: " +
                platform::FormatMessage(platform::kMsgNoDriveHolds,
                                        {outside, temp.Path() + "/config/varnoke/dosdevices"}) +
                "\n");
  result = Find({Disk() + "/NoSuchFolder/*"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err,
            "varnoke-find: The folder " + Disk() + "/NoSuchFolder is not in the database\n");
  // A hidden folder is not in the database by design, and the user is told why.
  result = Find({"--count", Disk() + "/.hidden/*"});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("The folder " + Disk() + "/.hidden is not in the database"),
            std::string::npos)
      << result.err;
  EXPECT_NE(result.err.find(std::string(platform::MessageText(platform::kMsgHiddenNotIndexed))),
            std::string::npos)
      << result.err;
  // A drive-form folder the tree lacks finds nothing, silently, as ever.
  result = Find({"C:\\NOSUCH\\*"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "");
}

TEST_F(VarnokeFindTest, ExplainsThatHiddenNamesAreNotIndexed) {
  MakeTreeAndScan();
  MakeFile(".bashrc");
  const testing::TProcessResult hidden = Find({".bashrc"});
  EXPECT_EQ(hidden.status, 1);
  EXPECT_EQ(
      hidden.err,
      "varnoke-find: " + std::string(platform::MessageText(platform::kMsgHiddenNotIndexed)) + "\n");
  // Only when nothing is found.
  EXPECT_EQ(Find({".app"}).err, "");
}

TEST_F(VarnokeFindTest, TheManualPageListsEveryOptionOfTheHelp) {
  const std::string help = Find({"--help"}).out;
  const std::string page = testing::ReadWhole(VARNOKE_SOURCE_DIR "/packaging/man/varnoke-find.1");
  ASSERT_FALSE(page.empty());
  std::size_t options = 0;
  for (std::size_t at = help.find(" -"); at != std::string::npos; at = help.find(" -", at + 1)) {
    std::size_t end = at + 2;
    while (end < help.size() &&
           (std::isalnum(static_cast<unsigned char>(help[end])) || help[end] == '-'))
      ++end;
    std::string option = help.substr(at + 1, end - at - 1);
    if (option.size() < 2) continue;
    ++options;
    // The page writes each "-" as "\-".
    std::string escaped;
    for (const char c : option)
      escaped += c == '-' ? std::string("\\-") : std::string(1, c);
    EXPECT_NE(page.find(escaped), std::string::npos) << option;
  }
  EXPECT_GE(options, 12u);
}

// A running program's tree, in memory, answering on the socket that
// varnoke-find under this test's settings asks.
class VarnokeFindLiveTest : public VarnokeFindTest {
 protected:
  VarnokeFindLiveTest() {
    fakeHost.drives.Set('C', platform::TDriveType::Fixed);
    std::lock_guard guard(db.Lock);
    for (const char* path : {"C:\\LIVE\\ONLY.TXT", "C:\\README.TXT", "C:\\LIVE\\B.TXT"})
      testing::AddFilePath(db, path);
  }
  // The program's socket and varnoke-find's look for it lie in a runtime
  // folder of the test's own.
  void SetUp() override {
    const std::string runtime = temp.Path() + "/runtime";
    ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
    if (const char* old = std::getenv("XDG_RUNTIME_DIR")) oldRuntime = old;
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  }
  void TearDown() override {
    server.reset();
    if (oldRuntime.empty()) {
      ::unsetenv("XDG_RUNTIME_DIR");
    } else {
      ::setenv("XDG_RUNTIME_DIR", oldRuntime.c_str(), 1);
    }
  }
  void StartProgram() {
    server = live::TLiveServer::Start(db, live::LiveSocketName(hive.Path()));
    ASSERT_NE(server, nullptr);
  }

  testing::TTestHost fakeHost;
  TMemoryDB db{fakeHost.Services()};
  std::unique_ptr<live::TLiveServer> server;
  std::string oldRuntime;
};

TEST_F(VarnokeFindLiveTest, TheRunningProgramAnswersUnlessTheFileIsAskedFor) {
  MakeTreeAndScan();
  StartProgram();
  const testing::TProcessResult live =
      Find({"--verbose", "--sort", "name", "--drive-form", "*.TXT"});
  EXPECT_EQ(live.status, 0);
  EXPECT_EQ(live.out, "C:\\LIVE\\B.TXT\nC:\\LIVE\\ONLY.TXT\nC:\\README.TXT\n");
  EXPECT_NE(live.err.find("rows from the running program"), std::string::npos) << live.err;
  EXPECT_EQ(Find({"--count", "-0", "c:\\live\\*"}).out, std::string("2\0", 2));
  EXPECT_EQ(Find({"NOPE.*"}).status, 1);

  const testing::TProcessResult file = Find({"--file", "--verbose", "--drive-form", "*.TXT"});
  EXPECT_EQ(file.out, "C:\\README.TXT\nC:\\PROGRAM FILES\\APP\\MIXED.TXT\n");
  EXPECT_NE(file.err.find("rows from the database file"), std::string::npos) << file.err;
  // A scan reads the disk, not the program.
  EXPECT_EQ(Find({"--scan"}).status, 0);

  server.reset();
  const testing::TProcessResult fallback = Find({"--verbose", "--drive-form", "*.TXT"});
  EXPECT_EQ(fallback.out, "C:\\README.TXT\nC:\\PROGRAM FILES\\APP\\MIXED.TXT\n");
  EXPECT_NE(fallback.err.find("did not answer"), std::string::npos) << fallback.err;
}

TEST_F(VarnokeFindLiveTest, HostPathsOfLiveRowsComeFromTheDriveLinks) {
  MakeTreeAndScan();
  StartProgram();
  EXPECT_EQ(Find({"--host", "README.TXT"}).out, Disk() + "/readme.txt\n");
}

TEST_F(VarnokeFindLiveTest, LiveRowsOfNamesThatDifferOnlyInCaseEachPrintTheirOwnHostPath) {
  MakeFile("a.txt");
  MakeFile("A.TXT");
  {
    std::lock_guard guard(db.Lock);
    testing::AddFilePath(db, "C:\\A.TXT");
    testing::AddFilePath(db, "C:\\A.TXT");
  }
  StartProgram();
  const testing::TProcessResult live = Find({"--verbose", "--host", "a.txt"});
  EXPECT_NE(live.err.find("rows from the running program"), std::string::npos) << live.err;
  EXPECT_EQ(SortedLines(live.out),
            (std::vector<std::string>{Disk() + "/A.TXT", Disk() + "/a.txt"}));
}

TEST_F(VarnokeFindLiveTest, TheRunningProgramAnswersLinuxPathsAndTellsOfMissingFolders) {
  MakeTreeAndScan();
  MakeFile("live/only.txt");
  StartProgram();
  const testing::TProcessResult live = Find({"--verbose", Disk() + "/LIVE/*"});
  EXPECT_NE(live.err.find("rows from the running program"), std::string::npos) << live.err;
  EXPECT_EQ(SortedLines(live.out),
            (std::vector<std::string>{Disk() + "/live/B.TXT", Disk() + "/live/only.txt"}));
  const testing::TProcessResult missing = Find({"--verbose", Disk() + "/Windows/*"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("rows from the running program"), std::string::npos) << missing.err;
  EXPECT_NE(missing.err.find("The folder " + Disk() + "/Windows is not in the database"),
            std::string::npos)
      << missing.err;
}

}  // namespace
}  // namespace varnoke
