// The services the host hands out through its global lookup: scene info,
// time info, directory info and the panel services.
#ifndef PINGWELL_HOST_SERVICES_H
#define PINGWELL_HOST_SERVICES_H

#include <cstdint>
#include <optional>
#include <string>

#include "plugin/host_interface.h"

namespace pingwell_host {

// The records live as long as the process, as the module expects; there is
// one host per process, so they are process-wide.
class HostServices {
 public:
  static HostServices& get();

  // The global lookup given to every activation: the record of a known
  // service, null for any other name.
  static void* lookup(const char* serviceName, int useMode);

  // The scene file name scene info reports; nothing for an unsaved scene.
  void setSceneFile(const std::optional<std::string>& file);
  void setFrame(int32_t frame);
  // The folder reported for "Settings".
  void setSettingsFolder(const std::string& folder);

 private:
  HostServices();
  static const char* folder(const char* kind);

  HostSceneInfo sceneInfo_{};
  std::optional<std::string> sceneFile_;
  std::string sceneName_;
  HostTimeInfo timeInfo_{};
  HostDirectoryInfo directoryInfo_{};
  std::string settingsFolder_;
};

}  // namespace pingwell_host

#endif
