#include "platform/desktop/watch_limit.h"

#include <fstream>

namespace varnoke::platform {

std::optional<std::int64_t> ReadWatchLimit(const std::string& file) {
  std::ifstream in(file);
  std::int64_t limit = 0;
  if (!(in >> limit) || limit <= 0) return std::nullopt;
  return limit;
}

std::int64_t SuggestedWatchLimit(std::int64_t current, std::int64_t unwatched) {
  constexpr std::int64_t kStep = 65536;
  const std::int64_t wanted = current + 2 * unwatched;
  return (wanted + kStep - 1) / kStep * kStep;
}

}  // namespace varnoke::platform
