#pragma once
// The host services the plug-in keeps for the life of the module. The
// activations look them up and overwrite them; the callbacks read them. Each
// may be null (a host that lacks the service), and every reader copes.
#include <atomic>

#include "plugin/host_api/host_interface.h"

namespace pingwell {

struct HostServices {
  std::atomic<HostSceneInfo*> sceneInfo{nullptr};
  std::atomic<HostMessageFuncs*> infoMessages{nullptr};  // none on a render node
  std::atomic<HostTimeInfo*> timeInfo{nullptr};
  std::atomic<void*> itemInfo{nullptr};
  std::atomic<void*> cameraInfo{nullptr};
  std::atomic<void*> interfaceInfo{nullptr};
  std::atomic<void*> instanceUpdate{nullptr};
  std::atomic<HostPanelServices*> panelServices{nullptr};  // none on a render node
  std::atomic<HostDirectoryFunc> directoryInfo{nullptr};   // the service is the function
  std::atomic<void*> channelInfo{nullptr};                 // looked up by the interface activation
  // The host's "System ID" names a render node; a host without the service
  // is taken for a workstation.
  std::atomic<bool> renderNode{false};
};

// The module's one set of kept services.
HostServices& hostServices() noexcept;

// Looks up, with use mode 0 and in this order, "LW Scene Info 10",
// "Info Messages 3", "LW Time Info", "LW Item Info 8", "LW Camera Info 9",
// "LW Interface Info 7", "Instance Update", "LWPanelServices 2",
// "Directory Info" and "System ID", and keeps every result ("System ID" as
// whether the host is a render node). Does nothing for a null lookup.
void keepHandlerServices(HostGlobalFunc global) noexcept;

// Sets the kept panel services' own lookup to `global` (the interface
// activation's), then looks up "Channel Info 2" through it and keeps the
// result (nothing uses it). False, with nothing done, when there are no
// panel services (a render node).
bool keepInterfaceServices(HostGlobalFunc global) noexcept;

// The "Settings" folder from the kept directory service; null when there is
// no service or it names no folder.
const char* hostSettingsFolder() noexcept;

}  // namespace pingwell
