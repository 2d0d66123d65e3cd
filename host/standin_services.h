// The services the host hands out through its global lookup: scene info,
// time info, directory info, the system ID, color spaces, the message boxes
// and the panel services. On a render node there is no user interface: the
// lookup gives neither message boxes nor panels, and the system ID's type
// bits say render node.
#ifndef PINGWELL_HOST_SERVICES_H
#define PINGWELL_HOST_SERVICES_H

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "plugin/host_api/host_interface.h"

namespace pingwell_host {

// The records live as long as the process, as the module expects; there is
// one host per process, so they are process-wide.
class StandInServices {
 public:
  static StandInServices& get();

  // The global lookup given to every activation: the record of a known
  // service, null for any other name.
  static void* lookup(const char* serviceName, int useMode);

  // Back to how the host starts: an unsaved scene rendering 1 to 60, frame
  // 0, no settings folder, linear output, message boxes printed, panels, no
  // render node, and nobody told of lookups.
  void reset();

  // Told every service name the module looks up; nobody unless set.
  void setLookupObserver(std::function<void(const char* name)> observer) {
    lookupObserver_ = std::move(observer);
  }
  // Gets what each message box shows ("info TITLE", "error TITLE: DETAIL");
  // unless set, it is printed as a line "message: ..." on standard output.
  void setMessageSink(std::function<void(const std::string& text)> sink) {
    messageSink_ = std::move(sink);
  }
  // Without message boxes the lookup gives none, and the panels still.
  void setMessageBoxes(bool on) { messageBoxes_ = on; }
  // Without panel services the lookup gives none, and the rest still: a
  // workstation whose panel service lookup fails.
  void setPanelServices(bool on) { panelServices_ = on; }

  // The records scene info and time info give the module.
  HostSceneInfo& sceneInfo() { return sceneInfo_; }
  HostTimeInfo& timeInfo() { return timeInfo_; }

  // The scene file name scene info reports; nothing for an unsaved scene.
  void setSceneFile(const std::optional<std::string>& file);
  void setFrame(int32_t frame);
  // The time of a frame, in seconds, as time info reports it.
  static double timeOf(int32_t frame);
  // The render range scene info reports (first, last, step).
  void setFrameRange(int32_t first, int32_t last, int32_t step);
  // The folder reported for "Settings"; nothing: the directory service
  // names none.
  void setSettingsFolder(const std::optional<std::string>& folder);
  // The output color space the color-space service reports
  // (HOST_COLOR_SPACE_LINEAR, HOST_COLOR_SPACE_SRGB or
  // HOST_COLOR_SPACE_CINEON); nothing: a host without color spaces, whose
  // lookup gives no record.
  void setOutputColorSpace(std::optional<int> space);
  // From now on the host plays a render node.
  void setRenderNode(bool renderNode) { renderNode_ = renderNode; }
  bool renderNode() const { return renderNode_; }

 private:
  StandInServices();
  static const char* folder(const char* kind);
  static void show(const char* kind, const char* title, const char* detail);
  // The message boxes print what they show on standard output, one line
  // each: "message: info TITLE", "message: error TITLE: DETAIL".
  static void showInfo(const char* title, const char* detail);
  static void showError(const char* title, const char* detail);
  static void showWarning(const char* title, const char* detail);
  static int ask(const char* title, const char* question, const char* detail);

  HostSceneInfo sceneInfo_{};
  std::optional<std::string> sceneFile_;
  std::string sceneName_;
  HostTimeInfo timeInfo_{};
  HostMessageFuncs messages_{};
  std::optional<std::string> settingsFolder_;
  bool colorSpaces_ = true;
  bool renderNode_ = false;
  bool messageBoxes_ = true;
  bool panelServices_ = true;
  std::function<void(const char*)> lookupObserver_;
  std::function<void(const std::string&)> messageSink_;
};

}  // namespace pingwell_host

#endif
