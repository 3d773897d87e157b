#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "db/memory_db.h"
#include "live/live_client.h"
#include "live/live_server.h"
#include "live/local_socket.h"
#include "platform/runtime/user_socket.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_host.h"
#include "tests/support/tree_builder.h"

namespace varnoke::live {
namespace {

using Paths = std::vector<std::string>;
using namespace std::chrono_literals;

Paths Split(const std::string& paths) {
  Paths rows;
  std::size_t at = 0;
  while (at < paths.size()) {
    const std::size_t end = paths.find('\0', at);
    rows.push_back(paths.substr(at, end - at));
    at = end + 1;
  }
  return rows;
}

class LiveServerTest : public ::testing::Test {
 protected:
  LiveServerTest() {
    host.drives.Set('C', platform::TDriveType::Fixed);
    host.drives.Set('D', platform::TDriveType::Fixed);
    std::lock_guard guard(db.Lock);
    for (const char* path :
         {"C:\\README.TXT", "C:\\b.txt", "C:\\NOTES.TXT", "C:\\WINDOWS\\WIN.INI",
          "C:\\WINDOWS\\SYSTEM.INI", "C:\\WINDOWS\\NOTEPAD.EXE", "C:\\WINDOWS\\SYSTEM\\DRV.INI",
          "C:\\WINDOWS\\SYSTEM\\A.TXT", "C:\\WINDOWS\\SYSTEM\\DEEP\\X.INI", "C:\\DOCS.TXT\\IN.DOC",
          "D:\\WINDOWS\\D.INI", "D:\\ZED\\A.TXT", "D:\\ALPHA\\SYSTEM\\Q.TXT"}) {
      testing::AddFilePath(db, path);
    }
    for (int i = 0; i < 300; ++i)
      testing::AddFilePath(db, "D:\\MANY\\F" + std::to_string((i * 7919) % 300) + ".TXT");
  }

  void StartServer() {
    std::string problem;
    server = TLiveServer::Start(db, socketName, &problem);
    ASSERT_NE(server, nullptr) << problem;
  }

  std::optional<TLiveAnswer> Ask(const std::string& pattern, TLiveOrder order = TLiveOrder::None,
                                 bool count = false) {
    std::string problem;
    std::optional<TLiveAnswer> answer =
        AskRunningProgram(socketName, {pattern, order, count}, problem, 5s);
    EXPECT_TRUE(answer) << pattern << ": " << problem;
    return answer;
  }

  Paths LiveRows(const std::string& pattern, TLiveOrder order = TLiveOrder::None) {
    const std::optional<TLiveAnswer> answer = Ask(pattern, order);
    return answer ? Split(answer->Paths) : Paths{"no answer"};
  }

  // The rows a database loaded from the saved file gives, as varnoke-find
  // reads them from the file.
  Paths FileRows(TMemoryDB& loaded, const std::string& pattern, TLiveOrder order) {
    loaded.Search(pattern);
    if (order == TLiveOrder::Name) loaded.SortByName();
    if (order == TLiveOrder::Path) loaded.SortByPath();
    return testing::FullPaths(loaded);
  }

  // A raw connection, for clients that misbehave.
  platform::TUniqueFd Connect() {
    platform::TUniqueFd socket;
    EXPECT_EQ(platform::ConnectTo(socketName, TClock::now() + 1s, socket),
              platform::TConnectResult::Connected);
    return socket;
  }

  testing::TTestHost host;
  TMemoryDB db{host.Services()};
  testing::TTempDir folder;
  std::string socketName = folder.Path() + "/Varnoke96.find";
  std::unique_ptr<TLiveServer> server;
};

TEST_F(LiveServerTest, AnswersMatchTheSavedFileRowForRow) {
  // The program serves the tree it loaded at start; varnoke-find without it
  // loads the same file.
  db.LoadFromFile("memdb.dat");  // only sets the file name: there is none yet
  ASSERT_TRUE(db.SaveToFile());
  ASSERT_TRUE(db.LoadFromFile("memdb.dat"));
  TMemoryDB loaded(host.Services());
  ASSERT_TRUE(loaded.LoadFromFile("memdb.dat"));
  StartServer();
  for (const char* pattern : {"*.TXT", "*.ini", "?.TXT", "C:\\WINDOWS\\*.INI", "d:\\*.txt",
                              ".SYSTEM", ".*", "NOTHING.*", "C:\\NOWHERE\\*"}) {
    for (const TLiveOrder order : {TLiveOrder::None, TLiveOrder::Name, TLiveOrder::Path}) {
      const Paths expected = FileRows(loaded, pattern, order);
      EXPECT_EQ(LiveRows(pattern, order), expected)
          << pattern << " order " << static_cast<int>(order);
      const std::optional<TLiveAnswer> counted = Ask(pattern, order, true);
      ASSERT_TRUE(counted);
      EXPECT_EQ(counted->Rows, expected.size());
      EXPECT_TRUE(counted->Paths.empty());
    }
  }
  EXPECT_GE(LiveRows("*.TXT").size(), 300u);  // spread over several frames' worth of rows
}

TEST_F(LiveServerTest, ChangesShowWithoutASaveAndTheWindowRowsStayPut) {
  db.Search("*.INI");
  const Paths windowRows = testing::FullPaths(db);
  StartServer();
  EXPECT_EQ(LiveRows("NEW.LOG"), Paths{});
  db.ApplyFileCreate("C:\\WINDOWS\\NEW.LOG");
  EXPECT_EQ(LiveRows("new.log"), Paths{"C:\\WINDOWS\\NEW.LOG"});
  EXPECT_EQ(LiveRows("*.TXT", TLiveOrder::Path).size(), 305u);  // b.txt is not upper-cased
  EXPECT_EQ(testing::FullPaths(db), windowRows);
}

TEST_F(LiveServerTest, AnotherUserIsNotAnswered) {
  if (::getuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  StartServer();
  // The folder and the socket are open here so that the other user reaches
  // the socket at all; the server itself must turn it away.
  ASSERT_EQ(::chmod(folder.Path().c_str(), 0755), 0);
  ASSERT_EQ(::chmod(socketName.c_str(), 0777), 0);
  // The child only makes system calls: it was forked from a process with
  // threads.
  const std::string request = EncodeRequest({"*.TXT"});
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, socketName.data(), socketName.size());
  const auto length = static_cast<socklen_t>(sizeof address);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0) ::_exit(3);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0) ::_exit(2);
    timeval limit{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) < 0) ::_exit(1);
    char byte;
    ::_exit(::recv(fd, &byte, 1, 0) > 0 ? 0 : 1);  // 0: it was answered
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(LiveRows("WIN.INI"), Paths{"C:\\WINDOWS\\WIN.INI"});
}

TEST_F(LiveServerTest, SurvivesMalformedStalledAndVanishingClients) {
  db.Search("*.INI");
  const Paths windowRows = testing::FullPaths(db);
  StartServer();
  std::mt19937 random(13);
  for (int i = 0; i < 1000; ++i) {
    platform::TUniqueFd client = Connect();
    ASSERT_TRUE(client.Valid()) << i;
    std::string frame = EncodeRequest({"*.TXT"});
    switch (i % 4) {
      case 0:
        frame[random() % 4] ^= 0x20;
        break;  // magic
      case 1:
        frame[8] = 9;
        break;  // version
      case 2:
        frame[4] = frame[5] = frame[6] = frame[7] = '\xff';
        break;  // length
      default:  // noise
        for (char& c : frame)
          c = static_cast<char>(random());
    }
    ASSERT_EQ(SendAll(client.Get(), frame, TClock::now() + 1s, 1s), TTransfer::Done);
    // Each gets a refusal or is hung up on, and is never answered with rows.
    char header[kAnswerHeaderBytes];
    const TTransfer got =
        ReceiveExactly(client.Get(), header, sizeof header, TClock::now() + 5s, 5s);
    if (got == TTransfer::Done) {
      EXPECT_EQ(header[0], kRefusalFrame) << i;
    }
  }

  // One that sends half a request and one that takes none of its answer
  // are dropped in time; one that goes mid-answer is forgotten.
  {
    platform::TUniqueFd half = Connect();
    ASSERT_EQ(SendAll(half.Get(), EncodeRequest({"*.TXT"}).substr(0, 6), TClock::now() + 1s, 1s),
              TTransfer::Done);
    platform::TUniqueFd deaf = Connect();
    ASSERT_EQ(SendAll(deaf.Get(), EncodeRequest({"*"}), TClock::now() + 1s, 1s), TTransfer::Done);
    platform::TUniqueFd gone = Connect();
    ASSERT_EQ(SendAll(gone.Get(), EncodeRequest({"*"}), TClock::now() + 1s, 1s), TTransfer::Done);
    char some[16];
    ReceiveExactly(gone.Get(), some, sizeof some, TClock::now() + 5s, 5s);
    gone.Reset();
    EXPECT_EQ(LiveRows("WIN.INI"), Paths{"C:\\WINDOWS\\WIN.INI"});
  }

  // Fifty at once all get the whole answer.
  std::vector<std::thread> clients;
  std::atomic<int> whole{0};
  const Paths expected = LiveRows("*.TXT", TLiveOrder::Name);
  for (int i = 0; i < 50; ++i) {
    clients.emplace_back([&] {
      std::string problem;
      const auto answer =
          AskRunningProgram(socketName, {"*.TXT", TLiveOrder::Name, false}, problem, 10s);
      if (answer && Split(answer->Paths) == expected) ++whole;
    });
  }
  for (std::thread& t : clients)
    t.join();
  EXPECT_EQ(whole, 50);
  EXPECT_EQ(LiveRows("WIN.INI"), Paths{"C:\\WINDOWS\\WIN.INI"});
  EXPECT_EQ(testing::FullPaths(db), windowRows);
}

TEST_F(LiveServerTest, StopsPromptlyAndThenNobodyIsAnswered) {
  StartServer();
  platform::TUniqueFd idle = Connect();  // holds the server in its request wait
  server->Stop();
  std::string problem;
  EXPECT_FALSE(AskRunningProgram(socketName, {"*.TXT"}, problem, 1s));
  // The name is free again for the next program.
  StartServer();
  EXPECT_EQ(LiveRows("WIN.INI"), Paths{"C:\\WINDOWS\\WIN.INI"});
}

TEST_F(LiveServerTest, ASecondServerCannotTakeTheName) {
  StartServer();
  std::string problem;
  EXPECT_EQ(TLiveServer::Start(db, socketName, &problem), nullptr);
  EXPECT_EQ(LiveRows("WIN.INI"), Paths{"C:\\WINDOWS\\WIN.INI"});
}

TEST_F(LiveServerTest, ASocketOfAnotherUserIsNotBelieved) {
  if (::getuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  // The other user's process listens where the program would.
  ASSERT_EQ(::chown(folder.Path().c_str(), 65534, 65534), 0);
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(ready[0]);
    if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0) ::_exit(3);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socketName.data(), socketName.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 4) != 0)
      ::_exit(2);
    if (::write(ready[1], "l", 1) != 1) ::_exit(4);
    ::pause();
    ::_exit(0);
  }
  ::close(ready[1]);
  char byte = 0;
  ASSERT_EQ(::read(ready[0], &byte, 1), 1);
  ::close(ready[0]);
  std::string problem;
  EXPECT_FALSE(AskRunningProgram(socketName, {"*.TXT"}, problem, 1s));
  EXPECT_EQ(problem, "the socket is held by another user");
  EXPECT_EQ(TLiveServer::Start(db, socketName, &problem), nullptr);
  EXPECT_NE(problem.find("another user"), std::string::npos) << problem;
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
}

}  // namespace
}  // namespace varnoke::live
