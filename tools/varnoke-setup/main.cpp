// varnoke-setup: the installation step. Creates the settings key with its
// first values, the drive map with its "c:" link and the installation
// folder's links to the program's files, never changing what is there
// already.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/config_paths.h"
#include "platform/drives/drive_map.h"
#include "platform/drives/mount_table.h"
#include "platform/hive/hive_file.h"
#include "platform/registry.h"
#include "settings/settings_store.h"
#include "tools/varnoke-setup/program_links.h"
#include "tools/varnoke-setup/root_drive.h"

namespace {

using namespace varnoke;

constexpr const char* kUsage =
    "usage: varnoke-setup [--directory FOLDER]\n"
    "\n"
    "FOLDER may be relative to the current folder; it is stored as an absolute\n"
    "path.\n"
    "\n"
    "Creates the settings of Varnoke where they are missing: the installation\n"
    "folder (Directory, by default $XDG_DATA_HOME/varnoke), ShowSplash 1,\n"
    "SaveSuccessful 0, StartupOptions 1, the hot key Ctrl+Alt+F, DrivePaths 0\n"
    "(the window shows Linux paths) and SearchAsYouType 1, and the\n"
    "drive map with C: as the root of the file system (declared fixed when that\n"
    "root is not on a disk the mounts name, as in a container), and puts links to the\n"
    "program's files (mhook.dll, varnoke, vk96.html) in the installation\n"
    "folder. Nothing that exists is changed, except links that point nowhere.\n";

// The text of a REG_SZ value; empty for any other type.
std::string TextOf(const platform::TRegValue& value) {
  if (value.Type != platform::kRegSz) return {};
  std::string text(value.Data.begin(), value.Data.end());
  if (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

// Links the installation folder to the files of the program this setup
// belongs to; false when one could not be placed.
bool PlaceProgramLinks(const std::string& folder) {
  const std::string bin = setup::ExecutableFolder();
  if (bin.empty()) {
    std::fprintf(stderr, "varnoke-setup: cannot tell where the program is installed\n");
    return false;
  }
  bool placed = true;
  for (const setup::TProgramLink& link : setup::ProgramLinks(bin)) {
    std::string problem;
    switch (setup::PlaceLink(folder, link, problem)) {
      case setup::TLinkResult::Made:
        std::printf("linked %s/%s to %s\n", folder.c_str(), link.Name.c_str(), link.Target.c_str());
        break;
      case setup::TLinkResult::Replaced:
        std::printf("relinked %s/%s to %s\n", folder.c_str(), link.Name.c_str(),
                    link.Target.c_str());
        break;
      case setup::TLinkResult::Kept:
        break;
      case setup::TLinkResult::NotALink:
      case setup::TLinkResult::Failed:
        std::fprintf(stderr, "varnoke-setup: %s\n", problem.c_str());
        placed = false;
        break;
    }
  }
  return placed;
}

// Empty when the folder exists (now), else why it cannot be made.
std::string MakeFolders(const std::string& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) return error.message();
  if (!std::filesystem::is_directory(folder, error)) return "a file of that name is in the way";
  return {};
}

// The folder as an absolute path without "." and ".." parts, or empty with
// why saying what is wrong with it. The program resolves its files against
// this folder, so a relative one would mean a different place from every
// folder a command runs in.
std::string InstallationFolder(const std::string& given, std::string& why) {
  if (given.empty()) {
    why = "the folder name is empty";
    return {};
  }
  std::error_code error;
  std::filesystem::path folder = std::filesystem::absolute(given, error);
  if (error) {
    why = "the folder '" + given + "' cannot be made absolute: " + error.message();
    return {};
  }
  std::string text = folder.lexically_normal().string();
  while (text.size() > 1 && text.back() == '/')
    text.pop_back();
  if (text == "/") {
    why = "the root of the file system cannot be the installation folder";
    return {};
  }
  if (text.size() > 255) {
    why = "the folder name " + text + " is longer than the 255 characters a setting holds";
    return {};
  }
  return text;
}

std::string DefaultDirectory() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data != nullptr && data[0] == '/') return std::string(data) + "/varnoke";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.local/share/varnoke";
}

int Run(int argc, char** argv) {
  std::string directory;
  bool given = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--directory" || arg == "-d") && i + 1 < argc) {
      directory = argv[++i];
      given = true;
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else {
      std::fprintf(stderr, "varnoke-setup: unknown argument '%s'\n\n%s", arg.c_str(), kUsage);
      return 2;
    }
  }
  if (!given) directory = DefaultDirectory();
  std::string why;
  directory = InstallationFolder(directory, why);
  if (directory.empty()) {
    std::fprintf(stderr, "varnoke-setup: %s\n", why.c_str());
    return 1;
  }
  if (const std::string problem = MakeFolders(directory); !problem.empty()) {
    std::fprintf(stderr, "varnoke-setup: cannot create the folder %s: %s\n", directory.c_str(),
                 problem.c_str());
    return 1;
  }

  platform::THiveFile hive(platform::DefaultHivePath());
  const std::string key =
      std::string(settings::kClassesRoot) + "\\" + std::string(settings::SettingsKey);
  std::vector<std::string> added;
  std::string installed;  // Directory as the settings hold it
  std::string problem;
  const platform::TModifyResult result = hive.Modify(
      [&](platform::THiveContents& contents) {
        platform::TRegKey& settingsKey = contents.FindOrAdd(key);
        const auto add = [&](const char* name, std::uint32_t type, std::vector<std::uint8_t> data) {
          if (settingsKey.Find(name) != nullptr) return;
          settingsKey.Set(name, type, std::move(data));
          added.emplace_back(name);
        };
        add("Directory", platform::kRegSz, platform::StringData(directory));
        installed = TextOf(*settingsKey.Find("Directory"));
        add("ShowSplash", platform::kRegDword, platform::DwordData(1));
        add("SaveSuccessful", platform::kRegDword, platform::DwordData(0));
        add("StartupOptions", platform::kRegDword, platform::DwordData(1));
        add("HotKey", platform::kRegDword, platform::DwordData(70));      // F
        add("HotKeyShift", platform::kRegDword, platform::DwordData(5));  // Ctrl+Alt
        add("DrivePaths", platform::kRegDword, platform::DwordData(0));   // Linux paths
        add("SearchAsYouType", platform::kRegDword, platform::DwordData(1));
        return !added.empty();
      },
      problem);
  if (result == platform::TModifyResult::Unreadable ||
      result == platform::TModifyResult::Unwritable) {
    std::fprintf(stderr, "varnoke-setup: %s\n", problem.c_str());
    return 1;
  }
  for (const std::string& name : added)
    std::printf("set %s\n", name.c_str());

  const std::string links = platform::DriveLinkFolder();
  struct stat st {};
  if (::lstat(links.c_str(), &st) != 0) {
    if (!MakeFolders(links).empty() || ::symlink("/", (links + "/c:").c_str()) != 0) {
      std::fprintf(stderr, "varnoke-setup: cannot create the drive map %s: %s\n", links.c_str(),
                   std::strerror(errno));
      return 1;
    }
    std::printf("made drive C: the root of the file system (%s/c:)\n", links.c_str());
  }
  if (const std::optional<std::string> cTarget = platform::TDriveMap(links).LinkTarget('c')) {
    platform::TMountTable mounts;
    std::string declareProblem;
    const std::string declared =
        setup::DeclareRootFixed(hive, *cTarget, mounts.TypeOfPath("/"), declareProblem);
    if (!declared.empty()) std::printf("%s\n", declared.c_str());
    if (!declareProblem.empty()) {
      std::fprintf(stderr, "varnoke-setup: cannot declare drive C: fixed: %s\n",
                   declareProblem.c_str());
      return 1;
    }
  }
  if (installed.empty() || installed[0] != '/') {
    std::fprintf(stderr, "varnoke-setup: the setting Directory is not a folder: '%s'\n",
                 installed.c_str());
    return 1;
  }
  if (const std::string problem = installed == directory ? "" : MakeFolders(installed);
      !problem.empty()) {
    std::fprintf(stderr, "varnoke-setup: cannot create the folder %s: %s\n", installed.c_str(),
                 problem.c_str());
    return 1;
  }
  const bool linked = PlaceProgramLinks(installed);
  std::printf("settings in %s\n", hive.Path().c_str());
  return linked ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  return Run(argc, argv);
}
