#include "plugin/notifier/render_event.h"

#include "plugin/host_api/host_services.h"
#include "plugin/notifier/notifier_instance.h"

namespace pingwell {

namespace {

int32_t currentFrame() noexcept {
  const HostTimeInfo* time = hostServices().timeInfo;
  return time ? time->frame : 0;
}

// The render times, the thread and the progress message measure the
// render; without them the record needs no clock.
bool tracksRenders(const NotifierInstance& notifier) noexcept {
  return switchIsOn(notifier.addRenderTimes) || switchIsOn(notifier.frameMessagesInThread) ||
         switchIsOn(notifier.progressInOneMessage);
}

}  // namespace

RenderEvent::RenderEvent(NotifierInstance& notifier, int32_t code) noexcept
    : notifier_(notifier), code_(code), frame_(currentFrame()), now_(pluginNow()) {
  moment_ = notifier.render.note(code, frame_,
                                 tracksRenders(notifier) ? std::optional(now_) : std::nullopt);
  const HostSceneInfo* scene = hostServices().sceneInfo;
  sceneFile_ = scene ? scene->filename : nullptr;
  renderNode_ = hostServices().renderNode;
  if (scene != nullptr && !renderNode_)
    range_ = FrameRange{scene->frameStart, scene->frameEnd, scene->frameStep};
}

bool RenderEvent::messageOn() const noexcept {
  switch (code_) {
    case HOST_EVENT_FRAME_STARTED:
      return switchIsOn(notifier_.notifyFrameStart);
    case HOST_EVENT_FRAME_DONE:
      return switchIsOn(notifier_.notifyFrameDone);
    case HOST_EVENT_RENDER_DONE:
      return switchIsOn(notifier_.notifyRenderDone);
    default:
      return false;
  }
}

bool RenderEvent::renderTimes() const noexcept { return switchIsOn(notifier_.addRenderTimes); }
bool RenderEvent::inThread() const noexcept { return switchIsOn(notifier_.frameMessagesInThread); }
bool RenderEvent::progressOn() const noexcept {
  return switchIsOn(notifier_.progressInOneMessage);
}
int32_t RenderEvent::alertMinutes() const noexcept { return notifier_.alertMinutes; }

bool RenderEvent::canPost() const noexcept {
  return !notifier_.token.empty() && !notifier_.userName.empty() && !notifier_.channel.empty();
}

const SenderPtr& RenderEvent::sender() const {
  if (!sender_) {
    sender_ = std::make_shared<const Sender>(
        Sender{notifier_.token, notifier_.userName, notifier_.channel, notifier_.notify});
  }
  return sender_;
}

}  // namespace pingwell
