#include "services.h"

#include <cstring>

#include "panel.h"

namespace pingwell_host {

namespace {
constexpr double kFramesPerSecond = 30.0;
}

HostServices& HostServices::get() {
  static HostServices services;
  return services;
}

HostServices::HostServices() {
  directoryInfo_.folder = &HostServices::folder;
  setSceneFile(std::nullopt);
  setFrame(0);
}

void* HostServices::lookup(const char* serviceName, int /*useMode*/) {
  if (!serviceName) return nullptr;
  HostServices& s = get();
  if (std::strcmp(serviceName, HOST_SCENE_INFO_NAME) == 0) return &s.sceneInfo_;
  if (std::strcmp(serviceName, HOST_TIME_INFO_NAME) == 0) return &s.timeInfo_;
  if (std::strcmp(serviceName, HOST_DIRECTORY_INFO_NAME) == 0) return &s.directoryInfo_;
  if (std::strcmp(serviceName, HOST_PANEL_SERVICES_NAME) == 0) return PanelServices::get().record();
  return nullptr;
}

void HostServices::setSceneFile(const std::optional<std::string>& file) {
  sceneFile_ = file;
  if (sceneFile_) {
    // The display name is the file's last path component.
    std::string::size_type cut = sceneFile_->find_last_of("/\\");
    sceneName_ = cut == std::string::npos ? *sceneFile_ : sceneFile_->substr(cut + 1);
    sceneInfo_.filename = sceneFile_->c_str();
  } else {
    sceneName_ = "(unnamed)";
    sceneInfo_.filename = nullptr;
  }
  sceneInfo_.name = sceneName_.c_str();
}

void HostServices::setFrame(int32_t frame) {
  timeInfo_.frame = frame;
  timeInfo_.time = frame / kFramesPerSecond;
}

void HostServices::setSettingsFolder(const std::string& folder) {
  settingsFolder_ = folder;
  // Reported without a trailing separator, unless it is a root.
  while (settingsFolder_.size() > 1 &&
         (settingsFolder_.back() == '/' || settingsFolder_.back() == '\\') &&
         settingsFolder_[settingsFolder_.size() - 2] != ':')
    settingsFolder_.pop_back();
}

const char* HostServices::folder(const char* kind) {
  if (kind && std::strcmp(kind, "Settings") == 0) return get().settingsFolder_.c_str();
  return nullptr;
}

}  // namespace pingwell_host
