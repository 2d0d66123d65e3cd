// The cheapest event callback a host can call: the baseline of the
// notifier's figures. In a file of its own so that the call cannot be
// inlined away.
#include "plugin/host_api/host_interface.h"

double emptyEventCallback(void* /*instance*/, const HostMasterAccess* /*access*/) noexcept {
  return 0.0;
}
