// The program's own pictures, built into it.
#pragma once

namespace varnoke::shell {

// Registers them; the shell lives in a static library, whose resources are
// not registered by themselves. Safe to call more than once.
void InitResources();

}  // namespace varnoke::shell
