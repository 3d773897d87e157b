#include "shell/resources.h"

#include <QtGlobal>

// Outside any namespace, as the resource system requires.
static void InitShellResources() {
  Q_INIT_RESOURCE(shell);
}

namespace varnoke::shell {

void InitResources() {
  InitShellResources();
}

}  // namespace varnoke::shell
