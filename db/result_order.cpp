#include "db/result_order.h"

#include <cstring>

#include "db/path_chain.h"
#include "platform/upcase.h"

namespace varnoke {

int CompareNames(const char* x, const char* y) noexcept {
  if (x == nullptr || y == nullptr) {
    if (x == y) return 0;
    return x == nullptr ? -1 : 1;
  }
  return platform::CompareNoCase(x, y);
}

int ComparePaths(const TResultRow& a, const TResultRow& b) {
  return ComparePaths(a, TPathChain(a.Directory), b, TPathChain(b.Directory));
}

int ComparePaths(const TResultRow& a, const TPathChain& chainA, const TResultRow& b,
                 const TPathChain& chainB) {
  const auto name = [](const TPathChain& chain, std::size_t level) {
    return chain.At(level)->NameAddress();
  };
  for (std::size_t t = 0;; ++t) {
    const bool levelA = t < chainA.Depth();
    const bool levelB = t < chainB.Depth();
    if (levelA && levelB) {
      if (chainA.At(t) == chainB.At(t)) continue;  // one record: the same name
      const int r = platform::CompareNoCase(chainA.At(t)->Name(), chainB.At(t)->Name());
      if (r != 0) return r;
      continue;
    }
    if (levelA) return b.Name != nullptr ? CompareNames(name(chainA, t), b.Name) : 1;
    if (levelB) return a.Name != nullptr ? CompareNames(a.Name, name(chainB, t)) : -1;
    // Both chains end here. A row without a name is a blanked one, and
    // blanked rows order first whichever side they are on.
    if (a.Name != nullptr && b.Name != nullptr) return CompareNames(a.Name, b.Name);
    if (a.Name == nullptr && b.Name == nullptr) return 0;
    return a.Name == nullptr ? -1 : 1;
  }
}

}  // namespace varnoke
