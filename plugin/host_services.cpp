#include "plugin/host_services.h"

namespace pingwell {

HostServices& hostServices() noexcept {
  static HostServices services;
  return services;
}

void keepHandlerServices(HostGlobalFunc global) noexcept {
  if (global == nullptr) return;
  HostServices& kept = hostServices();
  kept.sceneInfo = static_cast<HostSceneInfo*>(global(HOST_SCENE_INFO_NAME, 0));
  kept.infoMessages = global(HOST_INFO_MESSAGES_NAME, 0);
  kept.timeInfo = static_cast<HostTimeInfo*>(global(HOST_TIME_INFO_NAME, 0));
  kept.itemInfo = global(HOST_ITEM_INFO_NAME, 0);
  kept.cameraInfo = global(HOST_CAMERA_INFO_NAME, 0);
  kept.interfaceInfo = global(HOST_INTERFACE_INFO_NAME, 0);
  kept.instanceUpdate = global(HOST_INSTANCE_UPDATE_NAME, 0);
  kept.panelServices = static_cast<HostPanelServices*>(global(HOST_PANEL_SERVICES_NAME, 0));
  kept.directoryInfo = static_cast<HostDirectoryInfo*>(global(HOST_DIRECTORY_INFO_NAME, 0));
}

void keepInterfaceServices() noexcept {
  HostPanelServices* panels = hostServices().panelServices;
  if (panels == nullptr || panels->globalFun == nullptr) return;
  hostServices().channelInfo = panels->globalFun(HOST_CHANNEL_INFO_NAME, 0);
}

const char* hostSettingsFolder() noexcept {
  HostDirectoryInfo* directory = hostServices().directoryInfo;
  if (directory == nullptr || directory->folder == nullptr) return nullptr;
  return directory->folder("Settings");
}

}  // namespace pingwell
