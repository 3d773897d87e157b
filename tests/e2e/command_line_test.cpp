// The program's command line, without a display: --help and --version
// answer, --popup finds no program or one of another user, and a plain
// start says that no display opens.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace varnoke::testing {
namespace {

constexpr uid_t kNobody = 65534;

class CommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    ::mkdir(Runtime().c_str(), 0700);
    ::mkdir(Scratch().c_str(), 0700);
  }
  std::string Runtime() const { return temp.Path() + "/runtime"; }
  std::string Scratch() const { return temp.Path() + "/scratch"; }

  // The program with a runtime folder of the test's own and no display;
  // extra variables come last and win.
  TProcessResult Run(const std::vector<std::string>& args,
                     const std::vector<std::string>& extra = {},
                     const std::string& program = VARNOKE_PROGRAM) {
    std::vector<std::string> env{"XDG_RUNTIME_DIR=" + Runtime(),
                                 "XDG_CONFIG_HOME=" + temp.Path() + "/config",
                                 "DISPLAY=", "WAYLAND_DISPLAY="};
    env.insert(env.end(), extra.begin(), extra.end());
    return RunProcess(program, args, env, Scratch());
  }

  TTempDir temp;
};

TEST_F(CommandLine, HelpAndVersionNeedNoDisplay) {
  const TProcessResult help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: varnoke [--popup]\n", 0), 0u) << help.out;
  EXPECT_NE(help.out.find("--popup"), std::string::npos);
  const TProcessResult version = Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("varnoke ", 0), 0u) << version.out;
  const TProcessResult wrong = Run({"--frobnicate"});
  EXPECT_EQ(wrong.status, 2);
  EXPECT_EQ(wrong.err.rfind("varnoke: unknown option --frobnicate\nUsage:", 0), 0u) << wrong.err;
}

TEST_F(CommandLine, WithoutADisplayTheProgramSaysSo) {
  const TProcessResult run = Run({});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.rfind("varnoke: cannot open the display (DISPLAY is not set)", 0), 0u)
      << run.err;
  const TProcessResult named = Run({}, {"DISPLAY=:4242"});
  EXPECT_EQ(named.status, 1);
  EXPECT_EQ(named.err.rfind("varnoke: cannot open the display :4242", 0), 0u) << named.err;
}

TEST_F(CommandLine, PopupWithoutARunningProgramFails) {
  const TProcessResult popup = Run({"--popup"});
  EXPECT_EQ(popup.status, 1);
  EXPECT_EQ(popup.err, "varnoke: Varnoke is not running\n");
}

// A second user's start: the name in its folder held by a process of
// another user (the superuser's, the one that can reach it) is not taken
// for its own program.
TEST_F(CommandLine, PopupToANameHeldByAnotherUserFails) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
  if (::access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "no setpriv";
  const std::string folder = Runtime() + "/varnoke";
  ASSERT_EQ(::chmod(temp.Path().c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  for (const std::string& path : {Runtime(), folder, Scratch()})
    ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0);
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t holder = ::fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    ::close(ready[0]);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = folder + "/Varnoke96";
    std::memcpy(address.sun_path, path.data(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 1) != 0 || ::write(ready[1], "l", 1) != 1)
      ::_exit(2);
    ::pause();
    ::_exit(0);
  }
  ::close(ready[1]);
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  ::close(ready[0]);
  const TProcessResult popup =
      Run({"--reuid=65534", "--regid=65534", "--clear-groups", "--", VARNOKE_PROGRAM, "--popup"},
          {}, "/usr/bin/setpriv");
  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  EXPECT_EQ(popup.status, 1) << popup.err;
  EXPECT_NE(popup.err.find("held by a process of another user (uid 0)"), std::string::npos)
      << popup.err;
}

}  // namespace
}  // namespace varnoke::testing
