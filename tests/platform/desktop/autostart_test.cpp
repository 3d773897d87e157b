#include "platform/desktop/autostart.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace varnoke::platform {
namespace {

using testing::TTempDir;

// What a desktop reads out of an Exec value: the string escapes undone,
// then the line split into arguments by its quoting rules.
std::vector<std::string> ExecArguments(const std::string& value) {
  std::string line;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      line += value[i];
      continue;
    }
    const char next = value[++i];
    line += next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next == 's' ? ' ' : next;
  }
  std::vector<std::string> args;
  std::string arg;
  bool inQuotes = false, any = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (inQuotes) {
      if (c == '"') {
        inQuotes = false;
      } else if (c == '\\' && i + 1 < line.size()) {
        arg += line[++i];
      } else if (c == '%' && i + 1 < line.size() && line[i + 1] == '%') {
        arg += line[++i];
      } else {
        arg += c;
      }
    } else if (c == ' ') {
      if (any) args.push_back(arg);
      arg.clear();
      any = false;
    } else if (c == '"') {
      inQuotes = any = true;
    } else {
      arg += c;
      any = true;
    }
  }
  if (any) args.push_back(arg);
  return args;
}

std::string Read(const std::string& path) {
  return testing::ReadWhole(path);
}

// The value of key in an entry's text; nullopt when it has none.
std::optional<std::string> EntryValue(const std::string& text, const std::string& key) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
  }
  return std::nullopt;
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

class AutoStartTest : public ::testing::Test {
 protected:
  std::string Folder() const { return temp_.Path() + "/config/autostart"; }
  std::string Entry() const { return Folder() + "/varnoke.desktop"; }

  TTempDir temp_;
  TXdgAutoStart autoStart_{Folder()};
};

TEST_F(AutoStartTest, OpeningMakesTheFolderWithItsParents) {
  EXPECT_TRUE(autoStart_.Open());
  struct stat st {};
  ASSERT_EQ(::stat(Folder().c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_TRUE(autoStart_.Open());  // and again, when it is there
  EXPECT_TRUE(FolderNames(Folder()).empty());
}

TEST_F(AutoStartTest, AFolderThatCannotBeMadeCannotBeOpenedNorWritten) {
  // A file where the configuration folder should be.
  std::ofstream(temp_.Path() + "/config") << "not a folder";
  EXPECT_FALSE(autoStart_.Open());
  EXPECT_FALSE(autoStart_.SetCommand("/opt/varnoke/varnoke"));
}

TEST_F(AutoStartTest, TheEntryStartsTheCommandAndDeletingRemovesIt) {
  ASSERT_TRUE(autoStart_.SetCommand("/home/anna/varnoke/varnoke"));
  const std::string text = Read(Entry());
  EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u);
  EXPECT_EQ(EntryValue(text, "Type"), "Application");
  ASSERT_TRUE(EntryValue(text, "Exec").has_value());
  EXPECT_EQ(ExecArguments(*EntryValue(text, "Exec")),
            std::vector<std::string>{"/home/anna/varnoke/varnoke"});

  EXPECT_TRUE(autoStart_.Remove());
  EXPECT_NE(::access(Entry().c_str(), F_OK), 0);
  EXPECT_TRUE(autoStart_.Remove());  // nothing there: nothing changes
}

TEST_F(AutoStartTest, SettingAgainReplacesTheWholeEntryAndLeavesNoTemporaryFile) {
  ASSERT_TRUE(autoStart_.SetCommand("/a/rather/long/folder/name/that/is/longer/varnoke"));
  struct stat before {};
  ASSERT_EQ(::stat(Entry().c_str(), &before), 0);
  ASSERT_TRUE(autoStart_.SetCommand("/b/varnoke"));
  struct stat after {};
  ASSERT_EQ(::stat(Entry().c_str(), &after), 0);
  EXPECT_NE(before.st_ino, after.st_ino);  // renamed over, not rewritten in place
  EXPECT_EQ(ExecArguments(*EntryValue(Read(Entry()), "Exec")),
            std::vector<std::string>{"/b/varnoke"});
  EXPECT_EQ(FolderNames(Folder()), std::vector<std::string>{"varnoke.desktop"});
  EXPECT_EQ(after.st_mode & 0777, 0644u);
}

TEST_F(AutoStartTest, CommandsThatCannotStandInAnEntryChangeNothing) {
  ASSERT_TRUE(autoStart_.SetCommand("/old/varnoke"));
  const std::string before = Read(Entry());
  EXPECT_FALSE(autoStart_.SetCommand("/bad\xff/varnoke"));      // not UTF-8
  EXPECT_FALSE(autoStart_.SetCommand("/bad\xc0\xaf/varnoke"));  // overlong
  EXPECT_FALSE(autoStart_.SetCommand("/bad\x01/varnoke"));      // control character
  EXPECT_FALSE(autoStart_.SetCommand(std::string("/bad\0/v", 7)));
  EXPECT_EQ(Read(Entry()), before);
  EXPECT_EQ(FolderNames(Folder()).size(), 1u);
}

// Folders whose names the Exec line must quote.
const char* const kAwkwardFolders[] = {
    "/home/anna/My Programs",       "/home/anna/it's \"quoted\"",
    "/home/anna/$HOME `date` 100%", "/home/anna/back\\slash",
    "/home/anna/Übersicht/日本",    "/home/anna/semi;colon & (paren) <>|*?#~",
    "/home/anna/tab\there",
};

TEST(ExecArgumentTest, EveryFolderComesBackAsOneArgument) {
  for (const char* folder : kAwkwardFolders) {
    const std::string program = std::string(folder) + "/varnoke";
    const std::optional<std::string> entry = AutoStartEntryText(program);
    ASSERT_TRUE(entry.has_value()) << folder;
    EXPECT_EQ(ExecArguments(*EntryValue(*entry, "Exec")), std::vector<std::string>{program})
        << folder;
  }
}

TEST(ExecArgumentTest, QuotingFollowsTheEntryFormat) {
  EXPECT_EQ(ExecArgument("/opt/varnoke"), "\"/opt/varnoke\"");
  // A backslash is escaped for the quotes, and each of the two for the value.
  EXPECT_EQ(ExecArgument("a\\b"), "\"a\\\\\\\\b\"");
  EXPECT_EQ(ExecArgument("a\"b"), "\"a\\\\\"b\"");
  EXPECT_EQ(ExecArgument("100%"), "\"100%%\"");
  EXPECT_EQ(ExecArgument("a\nb"), "\"a\\nb\"");
}

TEST(ExecArgumentTest, EntriesPassTheDesktopEntryValidator) {
  const std::string validator = "/usr/bin/desktop-file-validate";
  ASSERT_EQ(::access(validator.c_str(), X_OK), 0) << "scripts/deps installs desktop-file-utils";
  TTempDir temp;
  for (const char* folder : kAwkwardFolders) {
    TXdgAutoStart autoStart(temp.Path());
    ASSERT_TRUE(autoStart.SetCommand(std::string(folder) + "/varnoke")) << folder;
    const testing::TProcessResult result =
        testing::RunProcess(validator, {autoStart.EntryPath()}, {}, temp.Path());
    EXPECT_EQ(result.status, 0) << folder << "\n" << result.out << result.err;
    EXPECT_EQ(result.out + result.err, "") << folder;
  }
}

TEST(AutoStartFolderTest, FollowsTheConfigurationHome) {
  const char* old = std::getenv("XDG_CONFIG_HOME");
  const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
  ::setenv("XDG_CONFIG_HOME", "/tmp/somewhere", 1);
  EXPECT_EQ(AutoStartFolder(), "/tmp/somewhere/autostart");
  ::setenv("XDG_CONFIG_HOME", "relative", 1);  // ignored, as the XDG rules say
  EXPECT_NE(AutoStartFolder(), "relative/autostart");
  EXPECT_EQ(AutoStartFolder().substr(AutoStartFolder().size() - 18), "/.config/autostart");
  if (saved.has_value()) {
    ::setenv("XDG_CONFIG_HOME", saved->c_str(), 1);
  } else {
    ::unsetenv("XDG_CONFIG_HOME");
  }
}

}  // namespace
}  // namespace varnoke::platform
