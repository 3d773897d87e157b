#include "live/live_server.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "db/memory_db.h"
#include "db/pattern_folder.h"
#include "db/row_location.h"
#include "live/live_protocol.h"
#include "live/local_socket.h"
#include "platform/runtime/user_socket.h"

namespace varnoke::live {
namespace {

using namespace std::chrono_literals;

// A client has this long to send its request.
constexpr auto kRequestTime = 1s;
// While taking its answer a client may pause for this long at most, and
// must have it all within the total.
constexpr auto kAnswerStall = 1s;
constexpr auto kAnswerTime = 30s;
// Past this a client has fallen back to the file.
constexpr auto kLockTime = 1s;

}  // namespace

std::unique_ptr<TLiveServer> TLiveServer::Start(TMemoryDB& db, const std::string& socketName,
                                                std::string* problem) {
  std::string why;
  platform::TUniqueFd listener = platform::ListenAt(socketName, 64, why);
  if (!listener.Valid()) {
    if (problem != nullptr) *problem = why;
    return nullptr;
  }
  platform::TUniqueFd stop(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!stop.Valid()) {
    if (problem != nullptr) *problem = std::strerror(errno);
    return nullptr;
  }
  return std::make_unique<TLiveServer>(db, std::move(listener), std::move(stop));
}

TLiveServer::TLiveServer(TMemoryDB& db, platform::TUniqueFd listener, platform::TUniqueFd stop)
    : db_(db), listener_(std::move(listener)), stop_(std::move(stop)) {
  thread_ = std::thread([this] { Run(); });
}

TLiveServer::~TLiveServer() {
  Stop();
}

void TLiveServer::Stop() {
  if (!thread_.joinable()) return;
  const std::uint64_t one = 1;
  // An eventfd write of 1 cannot fail short of overflow; the thread also
  // sees the readable state in any wait it is in.
  [[maybe_unused]] const ssize_t written = ::write(stop_.Get(), &one, sizeof one);
  thread_.join();
  // The name is free for the next program as soon as this one stops.
  listener_.Reset();
}

void TLiveServer::Run() {
  for (;;) {
    pollfd fds[2] = {{listener_.Get(), POLLIN, 0}, {stop_.Get(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if ((fds[1].revents & POLLIN) != 0) return;
    if ((fds[0].revents & POLLIN) == 0) continue;
    platform::TUniqueFd client(
        ::accept4(listener_.Get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!client.Valid()) continue;  // the client went before it was taken, or fds ran out
    if (platform::PeerUid(client.Get()) != static_cast<long>(::geteuid())) continue;
    try {
      Serve(client.Get());
    } catch (const std::exception&) {
      // Out of memory for one answer: that client goes without, the next
      // is served.
    }
  }
}

void TLiveServer::Serve(int client) {
  const auto requestDeadline = TClock::now() + kRequestTime;
  char header[kRequestHeaderBytes];
  if (ReceiveExactly(client, header, sizeof header, requestDeadline, kRequestTime, stop_.Get()) !=
      TTransfer::Done)
    return;
  const auto refuse = [&](const std::string& why) {
    const std::string frame = AnswerHeader(kRefusalFrame, why.size()) + why;
    SendAll(client, frame, TClock::now() + kAnswerStall, kAnswerStall, stop_.Get());
  };
  const std::optional<std::size_t> length =
      RequestBodyLength(std::string_view(header, sizeof header));
  if (!length) {
    refuse("the request is not understood");
    return;
  }
  std::string body(*length, '\0');
  if (ReceiveExactly(client, body.data(), body.size(), requestDeadline, kRequestTime,
                     stop_.Get()) != TTransfer::Done)
    return;
  std::string problem;
  const std::optional<TLiveRequest> request = DecodeRequestBody(body, problem);
  if (!request) {
    refuse(problem);
    return;
  }

  std::uint64_t rows = 0;
  bool folderMissing = false;
  const std::optional<std::string> text = Answer(*request, rows, folderMissing);
  if (!text) return;

  // The tree's lock is released by now: however slowly the client reads,
  // the program's window and change reports carry on.
  const auto answerDeadline = TClock::now() + kAnswerTime;
  std::string_view rest = *text;
  std::string frame;
  if (folderMissing && SendAll(client, AnswerHeader(kNoFolderFrame, 0), answerDeadline,
                               kAnswerStall, stop_.Get()) != TTransfer::Done)
    return;
  while (!rest.empty()) {
    // Frames end at a row's end, so that every frame holds whole rows.
    std::size_t size = std::min(rest.size(), kMaxAnswerPayload);
    if (size < rest.size()) size = rest.rfind('\0', size - 1) + 1;
    frame = AnswerHeader(kRowsFrame, size);
    frame.append(rest.data(), size);
    if (SendAll(client, frame, answerDeadline, kAnswerStall, stop_.Get()) != TTransfer::Done)
      return;
    rest.remove_prefix(size);
  }
  if (SendAll(client, EndFrame(rows), answerDeadline, kAnswerStall, stop_.Get()) == TTransfer::Done)
    ++answered_;
}

std::optional<std::string> TLiveServer::Answer(const TLiveRequest& request, std::uint64_t& rows,
                                               bool& folderMissing) {
  // The rows point into the tree, so they are searched, ordered and turned
  // into text in one hold of the lock.
  std::unique_lock guard(db_.Lock, std::defer_lock);
  // A scan holds the lock for minutes, possibly on the thread that would
  // stop this one, and the lock cannot be waited for beside the stop
  // signal: so it is tried, between short waits on the stop signal, until
  // the client would have given up anyway.
  const auto deadline = TClock::now() + kLockTime;
  while (!guard.try_lock()) {
    pollfd stop = {stop_.Get(), POLLIN, 0};
    if (TClock::now() >= deadline || ::poll(&stop, 1, 5) != 0) return std::nullopt;
  }
  TRowList list;
  db_.SearchRows(request.Pattern, list);
  rows = list.Names.size();
  if (rows == 0 && request.TellMissingFolder)
    folderMissing = !HoldsPatternFolder(db_, request.Pattern);
  if (request.CountOnly) return std::string();
  if (request.Order == TLiveOrder::Name) TMemoryDB::SortRowsByName(list);
  if (request.Order == TLiveOrder::Path) TMemoryDB::SortRowsByPath(list);
  TRowLocator locator(db_);
  TRowLocation location;
  std::string text;
  for (std::size_t i = 0; i < list.Names.size(); ++i) {
    if (!request.WithTwins) {
      text += db_.RowFullPath(list.Names[i], list.Dirs[i]);
      text.push_back('\0');
      continue;
    }
    // Rows of a search just made are never blanked: each has a location.
    locator.Locate(list.Names[i], list.Dirs[i], location);
    text += location.DrivePath;
    text.push_back('\0');
    text += EncodeTwins(location.Ordinals, location.IsDirectory, TTwinOrdinals::kSoleName);
    text.push_back('\0');
  }
  return text;
}

}  // namespace varnoke::live
