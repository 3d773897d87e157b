#include "live/live_client.h"

#include <unistd.h>

#include <algorithm>

#include "live/local_socket.h"
#include "platform/runtime/user_socket.h"

namespace varnoke::live {
namespace {

// However long the rows take to come, as long as they keep coming.
constexpr auto kWholeAnswerTime = std::chrono::minutes(2);

// Splits the rows' texts into the answer's paths and twin texts; false
// when they are not rows NUL-ended texts each (twice that with twins).
bool SplitRows(const std::string& texts, bool withTwins, std::uint64_t rows, TLiveAnswer& answer) {
  const auto ends = static_cast<std::uint64_t>(std::count(texts.begin(), texts.end(), '\0'));
  if (ends != (withTwins ? 2 * rows : rows) || (!texts.empty() && texts.back() != '\0'))
    return false;
  if (!withTwins) {
    answer.Paths = texts;
    return true;
  }
  answer.Paths.reserve(texts.size());
  bool path = true;
  for (std::size_t at = 0; at < texts.size();) {
    const std::size_t end = texts.find('\0', at);
    (path ? answer.Paths : answer.Twins).append(texts, at, end + 1 - at);
    path = !path;
    at = end + 1;
  }
  return true;
}

}  // namespace

std::optional<TLiveAnswer> AskRunningProgram(const std::string& socketName,
                                             const TLiveRequest& request, std::string& problem,
                                             std::chrono::steady_clock::duration timeout) {
  if (request.Pattern.empty() || request.Pattern.size() > kMaxPatternBytes) {
    problem = "the pattern is too long to send";
    return std::nullopt;
  }
  platform::TUniqueFd socket;
  switch (platform::ConnectTo(socketName, TClock::now() + timeout, socket)) {
    case platform::TConnectResult::Connected:
      break;
    case platform::TConnectResult::OtherUser:
      // Only the superuser could have put it in the user's own folder; it
      // must not be believed.
      problem = "the socket is held by another user";
      return std::nullopt;
    default:
      problem = "no program is running";
      return std::nullopt;
  }
  const auto deadline = TClock::now() + kWholeAnswerTime;
  if (SendAll(socket.Get(), EncodeRequest(request), deadline, timeout) != TTransfer::Done) {
    problem = "the program took no request";
    return std::nullopt;
  }
  TLiveAnswer answer;
  std::string texts;
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
      // With twin texts every row is two NUL-ended texts, and a frame may
      // end between them.
      texts += payload;
    } else if (kind == kEndFrame && size == 8) {
      answer.Rows = GetU64(payload.data());
      if (!request.CountOnly && !SplitRows(texts, request.WithTwins, answer.Rows, answer)) {
        problem = "the program's answer does not add up";
        return std::nullopt;
      }
      return answer;
    } else if (kind == kNoFolderFrame && size == 0 && request.TellMissingFolder) {
      answer.FolderMissing = true;
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
