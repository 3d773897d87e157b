// The links in the installation folder to the program's own files, so
// that the folder holds the hook library, the program and its help as the
// program and the auto-start entry expect them.
#pragma once

#include <string>
#include <vector>

namespace varnoke::setup {

struct TProgramLink {
  std::string Name;    // in the installation folder
  std::string Target;  // the program's own file
};

// mhook.dll, varnoke and vk96.html beside (or below the prefix of) the
// folder that holds this executable.
std::vector<TProgramLink> ProgramLinks(const std::string& binFolder);

enum class TLinkResult { Made, Replaced, Kept, NotALink, Failed };

// Makes folder/link.Name a symbolic link to link.Target where there is
// none, or where the one there points nowhere; keeps a link that works and
// never touches anything that is not a link.
TLinkResult PlaceLink(const std::string& folder, const TProgramLink& link, std::string& problem);

// The folder of the running executable; empty when it cannot be read.
std::string ExecutableFolder();

}  // namespace varnoke::setup
