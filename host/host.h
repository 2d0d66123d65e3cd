// The host: the loaded module, its master handler and the instances of the
// scene, driven one script command at a time.
#ifndef PINGWELL_HOST_HOST_H
#define PINGWELL_HOST_HOST_H

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "image_filter.h"
#include "platform.h"
#include "plugin/host_api/host_interface.h"
#include "script.h"

namespace pingwell_host {

class Host {
 public:
  // Loads the module, checks its descriptor, starts it up and activates its
  // "MasterHandler" with version 4. Throws ScriptError (line 0) on failure.
  explicit Host(const std::string& modulePath);
  // Destroys the instances left, shuts the module down and unloads it.
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // Runs one command. Throws ScriptError when the line cannot be run.
  void run(const ScriptLine& line);

  // With times shown, every `event` line says how long the module's event
  // call took, and every `render` says on its last line how many event calls
  // it made, the longest of them but the render-completed ones, and the
  // longest of those, which may wait for the render's messages:
  // "render: 8 event calls, longest 0.051 ms (event 272 at frame 2), render
  // completed 1004.9 ms".
  void showTimes(bool show) { showTimes_ = show; }

  // True once something failed that did not stop the script (an image
  // filter's wrong output); each such failure was reported on standard
  // error as "line N: reason".
  bool failed() const { return failed_; }

 private:
  struct Instance {
    std::string name;
    void* handle = nullptr;
    HostInstanceFuncs funcs{};
    double (*event)(void*, const HostMasterAccess*) = nullptr;
  };

  int activateHandler(int version);
  Instance& find(const std::string& name, int line);
  // Delivers the event; returns how long the module's call took.
  std::chrono::steady_clock::duration deliver(Instance& instance, int32_t code, int line);

  void cmdActivate(const std::vector<std::string>& w, int line);
  void cmdCreate(const std::vector<std::string>& w, int line);
  void cmdDestroy(const std::vector<std::string>& w, int line);
  void cmdCopy(const std::vector<std::string>& w, int line);
  void cmdSave(const std::vector<std::string>& w, int line);
  void cmdLoad(const std::vector<std::string>& w, int line);
  void cmdDescribe(const std::vector<std::string>& w, int line);
  void cmdScene(const std::vector<std::string>& w, int line);
  void cmdFrame(const std::vector<std::string>& w, int line);
  void cmdEvent(const std::vector<std::string>& w, int line);
  void cmdRender(const std::vector<std::string>& w, int line);
  void cmdOptions(const std::vector<std::string>& w, int line);
  void cmdFilter(const std::vector<std::string>& w, int line);
  // The output color space of the host's preferences (Color Space tab).
  void cmdColorSpace(const std::vector<std::string>& w, int line);
  [[noreturn]] void cmdCrash(const std::vector<std::string>& w, int line);

  // Runs the applied image filter on one frame and checks its output.
  void filterFrame(int32_t frame, const FrameSize& size, int line);
  void removeFilter();

  // Declared first, so the module is unloaded after everything else.
  LoadedModule module_;
  const HostModuleDescriptor* descriptor_ = nullptr;
  void* serverData_ = nullptr;
  HostActivateFunc activateHandler_ = nullptr;
  HostActivateFunc activateInterface_ = nullptr;
  HostActivateFunc activateFilter_ = nullptr;

  HostItemFuncs itemFuncs_{};
  HostInstanceFuncs instanceFuncs_{};
  HostMasterHandler handler_{};
  bool handlerActive_ = false;

  std::vector<Instance> instances_;  // in creation order

  // The image filter applied to the scene, if any.
  struct Filter {
    void* handle = nullptr;
    HostInstanceFuncs funcs{};
    void (*process)(void*, const HostFilterAccess*) = nullptr;
  };
  std::optional<Filter> filter_;
  HostItemFuncs filterItemFuncs_{};

  bool failed_ = false;
  bool showTimes_ = false;
};

}  // namespace pingwell_host

#endif
