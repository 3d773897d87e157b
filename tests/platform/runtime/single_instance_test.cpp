#include "platform/runtime/single_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "platform/runtime/runtime_folder.h"
#include "platform/runtime/user_socket.h"
#include "tests/support/temp_dir.h"

namespace varnoke::platform {
namespace {

constexpr uid_t kNobody = 65534;

// A runtime folder of the test's own, so a running program is never
// disturbed.
class SingleInstance : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv("XDG_RUNTIME_DIR")) old_ = old;
    ASSERT_EQ(::chmod(runtime_.Path().c_str(), 0700), 0);
    ::setenv("XDG_RUNTIME_DIR", runtime_.Path().c_str(), 1);
  }
  void TearDown() override {
    if (old_.empty()) {
      ::unsetenv("XDG_RUNTIME_DIR");
    } else {
      ::setenv("XDG_RUNTIME_DIR", old_.c_str(), 1);
    }
  }

  std::string Folder() const { return runtime_.Path() + "/varnoke"; }

  // Takes one request from the holder's socket, answers it, returns it.
  static std::string Serve(const TSingleInstance& holder, const std::string& reply) {
    pollfd ready = {holder.Fd(), POLLIN, 0};
    if (::poll(&ready, 1, 5000) != 1) return "no client";
    TUniqueFd client(::accept4(holder.Fd(), nullptr, nullptr, SOCK_CLOEXEC));
    std::string line;
    char c = 0;
    while (::recv(client.Get(), &c, 1, 0) == 1 && c != '\n')
      line.push_back(c);
    const std::string answer = reply + "\n";
    ::send(client.Get(), answer.data(), answer.size(), MSG_NOSIGNAL);
    return line;
  }

  testing::TTempDir runtime_;
  std::string old_;
};

TEST_F(SingleInstance, OneHolderAtATimeUntilItGoes) {
  auto first = TSingleInstance::Acquire("Varnoke96");
  ASSERT_NE(first, nullptr);
  std::string problem = "unset";
  EXPECT_EQ(TSingleInstance::Acquire("Varnoke96", &problem), nullptr);
  EXPECT_EQ(problem, "");  // taken by this user's program, which is no error
  EXPECT_NE(TSingleInstance::Acquire("Varnoke96-other"), nullptr);
  first.reset();
  EXPECT_NE(TSingleInstance::Acquire("Varnoke96"), nullptr);

  // Everything lies in the user's own folder, closed to everybody else.
  struct stat st {};
  ASSERT_EQ(::lstat(Folder().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_EQ(::lstat((Folder() + "/Varnoke96").c_str(), &st), 0);
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
}

TEST_F(SingleInstance, TheNameGoesWithTheProcessAndNotToItsChildren) {
  const pid_t child = ::fork();
  if (child == 0) {
    auto held = TSingleInstance::Acquire("Varnoke96");
    ::_exit(held != nullptr ? 0 : 1);  // ends without releasing anything itself
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_EQ(WEXITSTATUS(status), 0);
  // Its socket file stays behind and is taken over.
  std::string problem;
  auto mine = TSingleInstance::Acquire("Varnoke96", &problem);
  ASSERT_NE(mine, nullptr) << problem;
  EXPECT_TRUE(::fcntl(mine->Fd(), F_GETFD) & FD_CLOEXEC);
}

TEST_F(SingleInstance, ALaterStartAsksTheHolderToPopUp) {
  std::string answer;
  std::string problem;
  EXPECT_EQ(AskInstance("Varnoke96", PopupRequest(""), answer, problem), TAskResult::NotRunning);
  EXPECT_EQ(problem, "Varnoke is not running");

  auto holder = TSingleInstance::Acquire("Varnoke96");
  ASSERT_NE(holder, nullptr);
  std::string served;
  std::thread server([&] { served = Serve(*holder, std::string(kRequestTaken)); });
  const TAskResult result =
      AskInstance("Varnoke96", PopupRequest("mutter-token_TIME42"), answer, problem);
  server.join();
  EXPECT_EQ(result, TAskResult::Answered) << problem;
  EXPECT_EQ(answer, "ok");
  ASSERT_EQ(ParsePopupRequest(served), std::optional<std::string>("mutter-token_TIME42"));

  // A holder that takes the request and says nothing is given up on.
  std::thread silent([&] {
    pollfd ready = {holder->Fd(), POLLIN, 0};
    ::poll(&ready, 1, 5000);
    TUniqueFd client(::accept4(holder->Fd(), nullptr, nullptr, SOCK_CLOEXEC));
    ::poll(nullptr, 0, 600);
  });
  EXPECT_EQ(
      AskInstance("Varnoke96", PopupRequest(""), answer, problem, std::chrono::milliseconds(300)),
      TAskResult::Failed);
  silent.join();
}

TEST(PopupRequest, CarriesAPrintableTokenOnly) {
  EXPECT_EQ(PopupRequest(""), "popup");
  EXPECT_EQ(ParsePopupRequest("popup"), std::optional<std::string>(""));
  EXPECT_EQ(PopupRequest("a b\nc"), "popup");  // would break the line
  EXPECT_EQ(ParsePopupRequest(PopupRequest("x_TIME1")), std::optional<std::string>("x_TIME1"));
  EXPECT_EQ(ParsePopupRequest("popups"), std::nullopt);
  EXPECT_EQ(ParsePopupRequest("quit"), std::nullopt);
}

TEST(RuntimeFolder, OnlyAFolderOfTheUserClosedToOthersWillDo) {
  testing::TTempDir temp;
  std::string problem;
  ASSERT_EQ(::chmod(temp.Path().c_str(), 0700), 0);
  EXPECT_TRUE(IsPrivateFolder(temp.Path(), problem)) << problem;
  ASSERT_EQ(::chmod(temp.Path().c_str(), 0750), 0);
  EXPECT_FALSE(IsPrivateFolder(temp.Path(), problem));
  EXPECT_NE(problem.find("open to other users"), std::string::npos) << problem;
  ASSERT_EQ(::chmod(temp.Path().c_str(), 0700), 0);
  const std::string link = temp.Path() + "/link";
  ASSERT_EQ(::symlink(temp.Path().c_str(), link.c_str()), 0);
  EXPECT_FALSE(IsPrivateFolder(link, problem));  // a link to a good folder is no folder
  if (::geteuid() == 0) {
    const std::string other = temp.Path() + "/other";
    ASSERT_EQ(::mkdir(other.c_str(), 0700), 0);
    ASSERT_EQ(::chown(other.c_str(), kNobody, kNobody), 0);
    EXPECT_FALSE(IsPrivateFolder(other, problem));
    EXPECT_NE(problem.find("belongs to another user"), std::string::npos) << problem;
  }
}

// The name held by a process of another user: the superuser's, in a
// folder of the user's own (nobody else could reach it). The user's start
// says so instead of taking it for its own program.
TEST_F(SingleInstance, ANameHeldByAnotherUsersProcessIsReportedAsSuch) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
  ASSERT_EQ(::chown(runtime_.Path().c_str(), kNobody, kNobody), 0);
  ASSERT_EQ(::mkdir(Folder().c_str(), 0700), 0);
  ASSERT_EQ(::chown(Folder().c_str(), kNobody, kNobody), 0);
  std::string problem;
  TUniqueFd lock(::open((Folder() + "/Varnoke96.lock").c_str(), O_RDWR | O_CREAT, 0600));
  flock whole{};
  whole.l_type = F_WRLCK;
  ASSERT_EQ(::fcntl(lock.Get(), F_OFD_SETLK, &whole), 0);
  TUniqueFd socket = ListenAt(Folder() + "/Varnoke96", 4, problem);
  ASSERT_TRUE(socket.Valid()) << problem;

  // The child only makes system calls and writes to a pipe: it was forked
  // from a process with threads.
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipeFds[0]);
    if (::setresgid(kNobody, kNobody, kNobody) != 0 || ::setresuid(kNobody, kNobody, kNobody) != 0)
      ::_exit(3);
    std::string why;
    const bool acquired = TSingleInstance::Acquire("Varnoke96", &why) != nullptr;
    std::string answer;
    std::string asked;
    const TAskResult result = AskInstance("Varnoke96", PopupRequest(""), answer, asked);
    const std::string report = why + "\n" + asked + "\n";
    if (::write(pipeFds[1], report.data(), report.size()) < 0) ::_exit(4);
    ::_exit(acquired ? 1 : result == TAskResult::OtherUser ? 0 : 2);
  }
  ::close(pipeFds[1]);
  std::string report;
  char buffer[512];
  for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
    report.append(buffer, static_cast<std::size_t>(n));
  ::close(pipeFds[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << report;
  EXPECT_NE(report.find("held by a process of another user (uid 0)"), std::string::npos) << report;
}

}  // namespace
}  // namespace varnoke::platform
