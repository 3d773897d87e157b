// Whether the folder a path-qualified pattern names is in the tree. A search
// below a folder the tree does not have finds nothing, like one that
// matches nothing; callers that can tell the user why ask this.
#pragma once

#include <string_view>

namespace varnoke {

class TMemoryDB;

// False exactly when the pattern is path-qualified (a "\" in it and no
// leading ".") and the components before its last "\" name no directory of
// the tree. Caller holds db.Lock.
bool HoldsPatternFolder(TMemoryDB& db, std::string_view pattern);

}  // namespace varnoke
