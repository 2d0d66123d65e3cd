#pragma once
// A plug-in instance as the host holds one: made by notifierCreate, handed
// events, released by notifierDestroy when the test is done with it.
#include <cstdint>
#include <ostream>
#include <string>

#include "plugin/host_api/host_interface.h"
#include "plugin/notifier/notifier.h"
#include "plugin/notifier/notifier_instance.h"

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

// The three texts an instance posts with.
struct PostingTexts {
  std::string token, userName, channel;
  bool operator==(const PostingTexts& o) const {
    return token == o.token && userName == o.userName && channel == o.channel;
  }
};
inline PostingTexts textsOf(const NotifierInstance& n) { return {n.token, n.userName, n.channel}; }
inline std::ostream& operator<<(std::ostream& out, const PostingTexts& t) {
  return out << "{" << t.token << ", " << t.userName << ", " << t.channel << "}";
}

// The five switches, in the order of the scene block.
struct Switches {
  int32_t renderDone, frameStart, frameDone, renderTimes, thread, progress;
  bool operator==(const Switches& o) const {
    return renderDone == o.renderDone && frameStart == o.frameStart && frameDone == o.frameDone &&
           renderTimes == o.renderTimes && thread == o.thread && progress == o.progress;
  }
};
inline Switches switchesOf(const NotifierInstance& n) {
  return {n.notifyRenderDone,    n.notifyFrameStart,          n.notifyFrameDone,
          n.addRenderTimes,      n.frameMessagesInThread,     n.progressInOneMessage};
}
inline std::ostream& operator<<(std::ostream& out, const Switches& s) {
  return out << "{" << s.renderDone << ", " << s.frameStart << ", " << s.frameDone << ", "
             << s.renderTimes << ", " << s.thread << ", " << s.progress << "}";
}

}  // namespace pingwell::testing
