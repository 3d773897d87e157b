// Temporary files that a killed save leaves beside the file it was to
// replace.
#pragma once

#include <string>
#include <string_view>

namespace varnoke::platform {

// True for the name a save of the file named base gives its temporary file:
// base, ".", and six letters or digits. Six lower-case letters are taken
// for a person's own copy ("memdb.dat.backup") and left alone.
bool IsLeftoverTemporaryName(std::string_view name, std::string_view base);

// Removes every regular file beside path whose name is a temporary of it.
// The caller holds the file's save lock, so no save that could still
// commit one of them is running.
void RemoveLeftoverTemporaries(const std::string& path);

}  // namespace varnoke::platform
