#include "db/pattern_folder.h"

#include <string>

#include "db/memory_db.h"

namespace varnoke {

bool HoldsPatternFolder(TMemoryDB& db, std::string_view pattern) {
  if (pattern.empty() || pattern.front() == '.' || pattern.find('\\') == std::string_view::npos)
    return true;
  std::string name;
  return !db.ResolveAllDirectories(pattern, name).empty();
}

}  // namespace varnoke
