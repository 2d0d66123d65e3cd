#include "plugin/host_api/host_services.h"

#include <cstdint>

namespace pingwell {

HostServices& hostServices() noexcept {
  static HostServices services;
  return services;
}

void keepHandlerServices(HostGlobalFunc global) noexcept {
  if (global == nullptr) return;
  HostServices& kept = hostServices();
  kept.sceneInfo = static_cast<HostSceneInfo*>(global(HOST_SCENE_INFO_NAME, 0));
  kept.infoMessages = static_cast<HostMessageFuncs*>(global(HOST_INFO_MESSAGES_NAME, 0));
  kept.timeInfo = static_cast<HostTimeInfo*>(global(HOST_TIME_INFO_NAME, 0));
  kept.itemInfo = global(HOST_ITEM_INFO_NAME, 0);
  kept.cameraInfo = global(HOST_CAMERA_INFO_NAME, 0);
  kept.interfaceInfo = global(HOST_INTERFACE_INFO_NAME, 0);
  kept.instanceUpdate = global(HOST_INSTANCE_UPDATE_NAME, 0);
  kept.panelServices = static_cast<HostPanelServices*>(global(HOST_PANEL_SERVICES_NAME, 0));
  // "Directory Info" is the function itself.
  kept.directoryInfo = reinterpret_cast<HostDirectoryFunc>(global(HOST_DIRECTORY_INFO_NAME, 0));
  // "System ID" is a value, not a record: its type bits say which program
  // asks. A workstation may lack panel services; only this says render node.
  const auto systemId =
      static_cast<unsigned int>(reinterpret_cast<std::uintptr_t>(global(HOST_SYSTEM_ID_NAME, 0)));
  kept.renderNode = (systemId & HOST_SYSTEM_ID_TYPE_MASK) == HOST_SYSTEM_ID_RENDER_NODE;
}

bool keepInterfaceServices(HostGlobalFunc global) noexcept {
  HostPanelServices* panels = hostServices().panelServices;
  if (panels == nullptr) return false;
  // The host may hand the record over without its own lookup, and asks the
  // plug-in to set it before relying on it.
  if (global != nullptr) panels->globalFun = global;
  if (panels->globalFun != nullptr)
    hostServices().channelInfo = panels->globalFun(HOST_CHANNEL_INFO_NAME, 0);
  return true;
}

const char* hostSettingsFolder() noexcept {
  const HostDirectoryFunc directory = hostServices().directoryInfo;
  if (directory == nullptr) return nullptr;
  return directory(HOST_DIRECTORY_SETTINGS);
}

}  // namespace pingwell
