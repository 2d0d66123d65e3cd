#pragma once
// The host services the plug-in keeps for the life of the module. The
// activations look them up and overwrite them; the callbacks read them. Each
// may be null (a host that lacks the service), and every reader copes.
#include <atomic>

#include "plugin/host_interface.h"

namespace pingwell {

struct HostServices {
  std::atomic<HostSceneInfo*> sceneInfo{nullptr};
  std::atomic<void*> infoMessages{nullptr};
  std::atomic<HostTimeInfo*> timeInfo{nullptr};
  std::atomic<void*> itemInfo{nullptr};
  std::atomic<void*> cameraInfo{nullptr};
  std::atomic<void*> interfaceInfo{nullptr};
  std::atomic<void*> instanceUpdate{nullptr};
  std::atomic<HostPanelServices*> panelServices{nullptr};
  std::atomic<HostDirectoryInfo*> directoryInfo{nullptr};
  std::atomic<void*> channelInfo{nullptr};  // looked up by the interface activation
};

// The module's one set of kept services.
HostServices& hostServices() noexcept;

// Looks up, with use mode 0 and in this order, "LW Scene Info 10",
// "Info Messages 3", "LW Time Info", "LW Item Info 8", "LW Camera Info 9",
// "LW Interface Info 7", "Instance Update", "LWPanelServices 2" and
// "Directory Info", and keeps every result. Does nothing for a null lookup.
void keepHandlerServices(HostGlobalFunc global) noexcept;

// Looks up "Channel Info 2" through the kept panel services' own lookup and
// keeps the result (nothing uses it). Does nothing without panel services.
void keepInterfaceServices() noexcept;

// The "Settings" folder from the kept directory service; null when there is
// no service or it names no folder.
const char* hostSettingsFolder() noexcept;

}  // namespace pingwell
