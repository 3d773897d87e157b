// A difference between the tree and the disk that comparing a directory's
// listing with the tree found, and set right.
#pragma once

#include <string>

namespace varnoke {

struct TTreeChange {
  // On the disk and added to the tree; otherwise gone from the disk and
  // removed from the tree.
  bool Added = false;
  // Drive form, the directory as the listing spells it; a directory's ends
  // with "\". An added entry's name as the disk spells it, a removed one's
  // as the tree holds it.
  std::string Path;
};

}  // namespace varnoke
