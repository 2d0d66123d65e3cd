#include "standin_services.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "color_space.h"
#include "panel.h"

namespace pingwell_host {

namespace {
constexpr double kFramesPerSecond = 30.0;
// The low bits of "System ID": the host's serial number.
constexpr std::uintptr_t kSerialNumber = 0x0051E7A1u;

}  // namespace

void StandInServices::show(const char* kind, const char* title, const char* detail) {
  std::string text = std::string(kind) + " " + (title ? title : "");
  if (detail && *detail) text += std::string(": ") + detail;
  StandInServices& s = get();
  if (s.messageSink_) return s.messageSink_(text);
  std::string line = "message: " + text + "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

StandInServices& StandInServices::get() {
  static StandInServices services;
  return services;
}

StandInServices::StandInServices() {
  messages_.info = &StandInServices::showInfo;
  messages_.error = &StandInServices::showError;
  messages_.warning = &StandInServices::showWarning;
  messages_.okCancel = &StandInServices::ask;
  messages_.yesNo = &StandInServices::ask;
  messages_.yesNoCan = &StandInServices::ask;
  messages_.yesNoAll = &StandInServices::ask;
  reset();
}

void StandInServices::reset() {
  setSceneFile(std::nullopt);
  setFrameRange(1, 60, 1);
  setFrame(0);
  settingsFolder_.reset();
  setOutputColorSpace(HOST_COLOR_SPACE_LINEAR);
  renderNode_ = false;
  messageBoxes_ = true;
  panelServices_ = true;
  lookupObserver_ = nullptr;
  messageSink_ = nullptr;
}

void* StandInServices::lookup(const char* serviceName, int /*useMode*/) {
  if (!serviceName) return nullptr;
  StandInServices& s = get();
  if (s.lookupObserver_) s.lookupObserver_(serviceName);
  if (std::strcmp(serviceName, HOST_SCENE_INFO_NAME) == 0) return &s.sceneInfo_;
  if (std::strcmp(serviceName, HOST_TIME_INFO_NAME) == 0) return &s.timeInfo_;
  // The directory service is the function itself.
  if (std::strcmp(serviceName, HOST_DIRECTORY_INFO_NAME) == 0)
    return reinterpret_cast<void*>(&StandInServices::folder);
  // "System ID" is a value: the serial number under the program's type bits.
  if (std::strcmp(serviceName, HOST_SYSTEM_ID_NAME) == 0)
    return reinterpret_cast<void*>(
        kSerialNumber | (s.renderNode_ ? HOST_SYSTEM_ID_RENDER_NODE : HOST_SYSTEM_ID_LAYOUT));
  if (std::strcmp(serviceName, HOST_COLOR_SPACE_NAME) == 0)
    return s.colorSpaces_ ? colorSpaceRecord() : nullptr;
  if (s.renderNode_) return nullptr;
  if (std::strcmp(serviceName, HOST_INFO_MESSAGES_NAME) == 0)
    return s.messageBoxes_ ? &s.messages_ : nullptr;
  if (std::strcmp(serviceName, HOST_PANEL_SERVICES_NAME) == 0)
    return s.panelServices_ ? PanelServices::get().record() : nullptr;
  return nullptr;
}

void StandInServices::setSceneFile(const std::optional<std::string>& file) {
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

void StandInServices::setFrameRange(int32_t first, int32_t last, int32_t step) {
  sceneInfo_.frameStart = first;
  sceneInfo_.frameEnd = last;
  sceneInfo_.frameStep = step;
}

void StandInServices::setFrame(int32_t frame) {
  timeInfo_.frame = frame;
  timeInfo_.time = timeOf(frame);
}

double StandInServices::timeOf(int32_t frame) { return frame / kFramesPerSecond; }

void StandInServices::setOutputColorSpace(std::optional<int> space) {
  colorSpaces_ = space.has_value();
  if (space) pingwell_host::setOutputColorSpace(*space);
}

void StandInServices::setSettingsFolder(const std::optional<std::string>& folder) {
  settingsFolder_ = folder;
  if (!settingsFolder_) return;
  // Reported without a trailing separator, unless it is a root.
  std::string& path = *settingsFolder_;
  while (path.size() > 1 && (path.back() == '/' || path.back() == '\\') &&
         path[path.size() - 2] != ':')
    path.pop_back();
}

void StandInServices::showInfo(const char* title, const char* detail) {
  show("info", title, detail);
}
void StandInServices::showError(const char* title, const char* detail) {
  show("error", title, detail);
}
void StandInServices::showWarning(const char* title, const char* detail) {
  show("warning", title, detail);
}
// Nobody answers a question: as if the user closed the box.
int StandInServices::ask(const char* title, const char* question, const char* /*detail*/) {
  show("question", title, question);
  return 0;
}

const char* StandInServices::folder(const char* kind) {
  const std::optional<std::string>& settings = get().settingsFolder_;
  if (kind && settings && std::strcmp(kind, "Settings") == 0) return settings->c_str();
  return nullptr;
}

}  // namespace pingwell_host
