// The machine's services as the resident program uses them: those of every
// program of the user, and the desktop's autostart folder.
#pragma once

#include "db/machine_services.h"
#include "platform/desktop/autostart.h"

namespace varnoke::shell {

struct THostServices : TMachineServices {
  platform::TXdgAutoStart AutoStart{platform::AutoStartFolder()};
};

}  // namespace varnoke::shell
