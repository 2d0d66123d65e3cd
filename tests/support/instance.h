#pragma once
// A plug-in instance as the host holds one: made by notifierCreate, handed
// events, released by notifierDestroy when the test is done with it.
#include <cstdint>

#include "plugin/host_interface.h"
#include "plugin/notifier.h"
#include "plugin/notifier_instance.h"

namespace pingwell::testing {

class Instance {
 public:
  // `priv` is the private datum the host passes (its global lookup).
  explicit Instance(void* priv = nullptr) : handle(notifierCreate(priv, nullptr, nullptr)) {}
  ~Instance() { notifierDestroy(handle); }
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  NotifierInstance* get() const { return static_cast<NotifierInstance*>(handle); }
  NotifierInstance* operator->() const { return get(); }
  NotifierInstance& operator*() const { return *get(); }

  // Delivers the host event `code`.
  void event(int32_t code) const {
    const HostMasterAccess access{code, nullptr, nullptr, nullptr, nullptr, nullptr};
    notifierEvent(handle, &access);
  }
  // All three message switches on.
  void allOn() const {
    get()->notifyFrameStart = 1;
    get()->notifyFrameDone = 1;
    get()->notifyRenderDone = 1;
  }

  void* const handle;
};

}  // namespace pingwell::testing
