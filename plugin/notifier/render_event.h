#pragma once
// One render event as the features see it: read once from the host and the
// instance at the event, so that every feature decides on the same moment
// and the same settings, and the jobs they hand to the posting thread carry
// those settings as they were (the instance may change or go before the
// jobs run).
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "plugin/notifier/render_record.h"
#include "plugin/posting/plugin_clock.h"
#include "plugin/posting/posting.h"

namespace pingwell {

struct NotifierInstance;

// Who an event's requests go out as: token, poster name, channel and
// "Notify" as typed, shared by the jobs of the event.
struct Sender {
  std::string token;
  std::string userName;
  std::string channel;
  std::string notify;
  PostSettings settings() const { return {token, userName, channel}; }
};
using SenderPtr = std::shared_ptr<const Sender>;

class RenderEvent {
 public:
  // Reads the event `code` for `notifier`: the host's current frame and
  // scene, the render node, and the instance's switches; notes the event in
  // the instance's render record (every render event is noted, posted or
  // not, so that an aborted render is never announced as completed), on the
  // plug-in's clock while an addition needs it. Allocates nothing.
  RenderEvent(NotifierInstance& notifier, int32_t code) noexcept;

  int32_t code() const noexcept { return code_; }
  bool frameStarted() const noexcept { return code_ == HOST_EVENT_FRAME_STARTED; }
  bool frameDone() const noexcept { return code_ == HOST_EVENT_FRAME_DONE; }
  bool frameEvent() const noexcept { return frameStarted() || frameDone(); }
  // The render completed (or, after an abort, ended): its last event.
  bool ended() const noexcept { return code_ == HOST_EVENT_RENDER_DONE; }

  // The host's current frame, and what the render record made of the event.
  int32_t frame() const noexcept { return frame_; }
  const RenderMoment& moment() const noexcept { return moment_; }
  // The plug-in's clock at the event.
  PluginClock::time_point now() const noexcept { return now_; }
  // The scene file's name as the host gives it (empty: an unsaved scene).
  const char* sceneFile() const noexcept { return sceneFile_; }
  // The scene's render range; none on a render node, whose part of it the
  // farm decides.
  const std::optional<FrameRange>& range() const noexcept { return range_; }
  // A render node has no user interface; its completed message says which
  // machine of the farm finished.
  bool renderNode() const noexcept { return renderNode_; }

  // The instance's switches at the event.
  const NotifierInstance& instance() const noexcept { return notifier_; }
  // The message switch that governs this event is on.
  bool messageOn() const noexcept;
  bool renderTimes() const noexcept;
  bool inThread() const noexcept;
  bool progressOn() const noexcept;
  int32_t alertMinutes() const noexcept;
  // Token, name and channel are all set: something can be posted.
  bool canPost() const noexcept;

  // Who the event's requests go out as, made at the first call. Throws only
  // std::bad_alloc.
  const SenderPtr& sender() const;

 private:
  const NotifierInstance& notifier_;
  int32_t code_ = 0;
  int32_t frame_ = 0;
  RenderMoment moment_;
  PluginClock::time_point now_{};
  const char* sceneFile_ = nullptr;
  std::optional<FrameRange> range_;
  bool renderNode_ = false;
  mutable SenderPtr sender_;
};

// A scene file's name kept for a job (null and empty are alike: unsaved).
inline std::string keptSceneName(const char* sceneFile) {
  return sceneFile != nullptr ? std::string(sceneFile) : std::string();
}

}  // namespace pingwell
