// The services the host hands out through its global lookup: scene info,
// time info, directory info, the message boxes and the panel services. On a
// render node there is no user interface: the lookup gives neither message
// boxes nor panels.
#ifndef PINGWELL_HOST_SERVICES_H
#define PINGWELL_HOST_SERVICES_H

#include <cstdint>
#include <optional>
#include <string>

#include "plugin/host_interface.h"

namespace pingwell_host {

// The records live as long as the process, as the module expects; there is
// one host per process, so they are process-wide.
class StandInServices {
 public:
  static StandInServices& get();

  // The global lookup given to every activation: the record of a known
  // service, null for any other name.
  static void* lookup(const char* serviceName, int useMode);

  // The scene file name scene info reports; nothing for an unsaved scene.
  void setSceneFile(const std::optional<std::string>& file);
  void setFrame(int32_t frame);
  // The time of a frame, in seconds, as time info reports it.
  static double timeOf(int32_t frame);
  // The render range scene info reports (first, last, step).
  void setFrameRange(int32_t first, int32_t last, int32_t step);
  // The folder reported for "Settings".
  void setSettingsFolder(const std::string& folder);
  // From now on the host plays a render node.
  void setRenderNode(bool renderNode) { renderNode_ = renderNode; }
  bool renderNode() const { return renderNode_; }

 private:
  StandInServices();
  static const char* folder(const char* kind);
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
  std::string settingsFolder_;
  bool renderNode_ = false;
};

}  // namespace pingwell_host

#endif
