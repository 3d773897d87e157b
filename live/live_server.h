// TLiveServer: answers searches from other processes of the same user with
// the resident program's tree, on a thread of its own.
//
// Clients are served one after another. Each has a time limit for its
// request and for taking its answer, so one that stalls is dropped and the
// next is served; a client of another user is dropped unanswered.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "live/live_protocol.h"
#include "platform/unique_fd.h"

namespace varnoke {
class TMemoryDB;
}

namespace varnoke::live {

class TLiveServer {
 public:
  // Listens on socketName and starts serving from db, which is borrowed and
  // must outlive the server. Null, with why in problem, when the socket
  // cannot be had (another program holds the name).
  static std::unique_ptr<TLiveServer> Start(TMemoryDB& db, const std::string& socketName,
                                            std::string* problem = nullptr);

  // Stops serving and waits for the thread.
  ~TLiveServer();
  TLiveServer(const TLiveServer&) = delete;
  TLiveServer& operator=(const TLiveServer&) = delete;

  // Stops serving: a client being served is dropped; returns once the
  // thread has ended. Safe to call more than once.
  void Stop();

  // Number of answers sent to their end, for tests and diagnostics.
  std::uint64_t Answered() const noexcept { return answered_; }

  TLiveServer(TMemoryDB& db, platform::TUniqueFd listener, platform::TUniqueFd stop);

 private:
  void Run();
  void Serve(int client);
  // The rows' text, NUL-ended (each followed by its twin text when asked
  // for), or only their number; nothing when the tree's lock could not be
  // had in time or the server is stopping. folderMissing tells, when the
  // request asks, that the pattern's folder is not in the tree.
  std::optional<std::string> Answer(const TLiveRequest& request, std::uint64_t& rows,
                                    bool& folderMissing);

  TMemoryDB& db_;
  platform::TUniqueFd listener_;
  platform::TUniqueFd stop_;  // an eventfd, readable once Stop is called
  std::atomic<std::uint64_t> answered_{0};
  std::thread thread_;
};

}  // namespace varnoke::live
