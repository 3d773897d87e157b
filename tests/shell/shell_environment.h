// The world a test of the resident program runs in: a temporary settings
// folder (XDG_CONFIG_HOME) with a hive holding every setting, a drive C: of
// its own typed fixed, an installation folder with the stand-in hook
// library, and helpers to look at what the program left behind.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <QtTest>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "platform/hive/hive_file.h"
#include "settings/settings_store.h"
#include "shell/message_box.h"
#include "tests/shell/fake_hook_state.h"
#include "tests/support/disk_files.h"
#include "tests/support/program_hive.h"
#include "tests/support/temp_dir.h"

namespace varnoke::testing {

class TShellEnvironment {
 public:
  TShellEnvironment() : hook_(VARNOKE_FAKE_HOOK) {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    if (old != nullptr) oldConfig_ = old;
    ::setenv("XDG_CONFIG_HOME", Config().c_str(), 1);
    ::mkdir(Config().c_str(), 0755);
    ::mkdir((Config() + "/varnoke").c_str(), 0755);
    ::mkdir((Config() + "/varnoke/dosdevices").c_str(), 0755);
    ::mkdir(Install().c_str(), 0755);
    ::mkdir(Disk().c_str(), 0755);
    [[maybe_unused]] int linked =
        ::symlink(Disk().c_str(), (Config() + "/varnoke/dosdevices/c:").c_str());
    linked = ::symlink(VARNOKE_FAKE_HOOK, (Install() + "/mhook.dll").c_str());
    std::ofstream(HivePath()) << ProgramHiveText(Install());
    QVERIFY2(hook_.Loaded(), "the stand-in hook library did not load");
  }

  ~TShellEnvironment() {
    if (oldConfig_.has_value()) {
      ::setenv("XDG_CONFIG_HOME", oldConfig_->c_str(), 1);
    } else {
      ::unsetenv("XDG_CONFIG_HOME");
    }
  }

  TShellEnvironment(const TShellEnvironment&) = delete;
  TShellEnvironment& operator=(const TShellEnvironment&) = delete;

  std::string Config() const { return temp_.Path() + "/config"; }
  std::string Install() const { return temp_.Path() + "/install"; }
  std::string Disk() const { return temp_.Path() + "/disk"; }
  std::string HivePath() const { return Config() + "/varnoke/registry.reg"; }
  std::string DatabasePath() const { return Install() + "/memdb.dat"; }
  TFakeHookState& Hook() { return hook_.State(); }

  void SetDword(std::string_view name, std::uint32_t value) {
    platform::THiveFile hive(HivePath());
    settings::TSettingsStore(hive).WriteDWORDSetting(settings::SettingsKey, name, value);
  }
  std::uint32_t Dword(std::string_view name) const {
    platform::THiveFile hive(HivePath());
    return settings::TSettingsStore(hive).ReadDWORDSetting(settings::SettingsKey, name);
  }

  // A file below drive C:'s root ("a/b.txt"), with its folders.
  void MakeFile(const std::string& relative, const std::string& content = "") const {
    MakeFileBelow(Disk(), relative, content);
  }

  // The database file's bytes; empty when there is none.
  std::string Database() const {
    std::ifstream in(DatabasePath(), std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }

 private:
  TTempDir temp_;
  TFakeHook hook_;
  std::optional<std::string> oldConfig_;
};

// Answers every message box of the program from a list of answers, and
// keeps what each box said. A box the test did not expect is answered No
// (or OK) and fails the test.
class TBoxAnswers {
 public:
  TBoxAnswers() {
    previous_ = shell::SetMessageBoxHook([this](const shell::TMessageBoxRequest& request) {
      Boxes.push_back(request);
      if (answers_.empty()) {
        qWarning("unexpected message box: %s", qPrintable(request.Text));
        unexpected_ = true;
        return (request.Flags & 0xF) == shell::kMbYesNo ? int(shell::kIdNo) : int(shell::kIdOk);
      }
      const int answer = answers_.front();
      answers_.erase(answers_.begin());
      return answer;
    });
  }
  ~TBoxAnswers() { shell::SetMessageBoxHook(std::move(previous_)); }
  TBoxAnswers(const TBoxAnswers&) = delete;
  TBoxAnswers& operator=(const TBoxAnswers&) = delete;

  // The next box is answered with answer.
  void Expect(int answer) { answers_.push_back(answer); }
  bool Unexpected() const { return unexpected_; }
  bool AllAnswered() const { return answers_.empty(); }

  std::vector<shell::TMessageBoxRequest> Boxes;

 private:
  shell::TMessageBoxHook previous_;
  std::vector<int> answers_;
  bool unexpected_ = false;
};

}  // namespace varnoke::testing
