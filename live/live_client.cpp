#include "live/live_client.h"

#include <unistd.h>

#include <algorithm>

#include "live/local_socket.h"

namespace varnoke::live {
namespace {

// However long the rows take to come, as long as they keep coming.
constexpr auto kWholeAnswerTime = std::chrono::minutes(2);

}  // namespace

std::optional<TLiveAnswer> AskRunningProgram(const std::string& socketName,
                                             const TLiveRequest& request, std::string& problem,
                                             std::chrono::steady_clock::duration timeout) {
  if (request.Pattern.empty() || request.Pattern.size() > kMaxPatternBytes) {
    problem = "the pattern is too long to send";
    return std::nullopt;
  }
  platform::TUniqueFd socket = ConnectAbstract(socketName, TClock::now() + timeout);
  if (!socket.Valid()) {
    problem = "no program is running";
    return std::nullopt;
  }
  // Abstract names are open to every user: one that took ours first must
  // not be believed.
  if (PeerUid(socket.Get()) != static_cast<long>(::getuid())) {
    problem = "the socket is held by another user";
    return std::nullopt;
  }
  const auto deadline = TClock::now() + kWholeAnswerTime;
  if (SendAll(socket.Get(), EncodeRequest(request), deadline, timeout) != TTransfer::Done) {
    problem = "the program took no request";
    return std::nullopt;
  }
  TLiveAnswer answer;
  std::uint64_t rowsReceived = 0;
  for (;;) {
    char header[kAnswerHeaderBytes];
    if (ReceiveExactly(socket.Get(), header, sizeof header, deadline, timeout) != TTransfer::Done) {
      problem = "the program did not answer in time";
      return std::nullopt;
    }
    const char kind = header[0];
    const std::size_t size = GetU32(header + 1);
    if (size > kMaxAnswerPayload) {
      problem = "the program's answer is malformed";
      return std::nullopt;
    }
    std::string payload(size, '\0');
    if (ReceiveExactly(socket.Get(), payload.data(), size, deadline, timeout) != TTransfer::Done) {
      problem = "the program's answer was cut short";
      return std::nullopt;
    }
    if (kind == kRowsFrame && !payload.empty() && payload.back() == '\0' && !request.CountOnly) {
      rowsReceived += static_cast<std::uint64_t>(std::count(payload.begin(), payload.end(), '\0'));
      answer.Paths += payload;
    } else if (kind == kEndFrame && size == 8) {
      answer.Rows = GetU64(payload.data());
      if (!request.CountOnly && answer.Rows != rowsReceived) {
        problem = "the program's answer does not add up";
        return std::nullopt;
      }
      return answer;
    } else if (kind == kRefusalFrame) {
      problem = "the program refused the request: " + payload;
      return std::nullopt;
    } else {
      problem = "the program's answer is malformed";
      return std::nullopt;
    }
  }
}

}  // namespace varnoke::live
