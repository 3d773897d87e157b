#include "shell/instance_requests.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>

#include "platform/runtime/single_instance.h"
#include "platform/runtime/user_socket.h"
#include "platform/unique_fd.h"

namespace varnoke::shell {
namespace {

// A client has this long to send its line; one that stalls is dropped.
constexpr int kRequestMs = 2000;
// At most this many clients are heard at once; more wait in the backlog.
constexpr std::size_t kMaxClients = 8;

}  // namespace

// One connected client: its line is read as it comes, then answered.
class TInstanceRequests::TClient {
 public:
  TClient(TInstanceRequests& owner, platform::TUniqueFd socket)
      : socket_(std::move(socket)), notifier_(socket_.Get(), QSocketNotifier::Read) {
    QObject::connect(&notifier_, &QSocketNotifier::activated, &owner,
                     [this, &owner] { Read(owner); });
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, &owner, [this, &owner] { owner.Finish(this); });
    timer_.start(kRequestMs);
  }

 public:
  void Read(TInstanceRequests& owner) {
    char buffer[512];
    const ssize_t got = ::recv(socket_.Get(), buffer, sizeof buffer, MSG_DONTWAIT);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (got <= 0) {
      owner.Finish(this);
      return;
    }
    line_.append(buffer, static_cast<std::size_t>(got));
    const std::size_t end = line_.find('\n');
    if (end == std::string::npos) {
      if (line_.size() > platform::kMaxRequestLine) owner.Finish(this);
      return;
    }
    line_.resize(end);
    const std::optional<std::string> token = platform::ParsePopupRequest(line_);
    // The reply is a few bytes into an empty socket buffer: it never waits.
    const std::string reply =
        token ? std::string(platform::kRequestTaken) + "\n" : "unknown request\n";
    [[maybe_unused]] const ssize_t sent =
        ::send(socket_.Get(), reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    // Finished before the pop-up runs, which may run an event loop of its own.
    const auto onPopup = owner.onPopup_;
    owner.Finish(this);
    if (token) onPopup(*token);
  }

  void Stop() {
    notifier_.setEnabled(false);
    timer_.stop();
  }

 private:
  platform::TUniqueFd socket_;
  QSocketNotifier notifier_;
  QTimer timer_;
  std::string line_;
};

TInstanceRequests::TInstanceRequests(int listenFd, std::function<void(const std::string&)> onPopup)
    : listenFd_(listenFd),
      onPopup_(std::move(onPopup)),
      notifier_(std::make_unique<QSocketNotifier>(listenFd, QSocketNotifier::Read)) {
  connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { Accept(); });
}

TInstanceRequests::~TInstanceRequests() = default;

void TInstanceRequests::Accept() {
  while (clients_.size() < kMaxClients) {
    platform::TUniqueFd socket(
        ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!socket.Valid()) return;
    // Only the user's own processes may call the window up.
    if (platform::PeerUid(socket.Get()) != static_cast<long>(::geteuid())) continue;
    clients_.push_back(std::make_unique<TClient>(*this, std::move(socket)));
  }
  // Full: the listener is heard again once a client is done.
  notifier_->setEnabled(false);
}

void TInstanceRequests::Finish(TClient* client) {
  const auto it = std::find_if(clients_.begin(), clients_.end(),
                               [client](const auto& held) { return held.get() == client; });
  if (it == clients_.end()) return;
  // Deleted later: this may run inside the client's own handler.
  TClient* done = it->release();
  done->Stop();
  clients_.erase(it);
  QTimer::singleShot(0, this, [done] { delete done; });
  notifier_->setEnabled(true);
}

}  // namespace varnoke::shell
