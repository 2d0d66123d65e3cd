#include "plugin/notifier/render_features.h"

#include <memory>

#include "plugin/posting/posting_queue.h"

namespace pingwell {

void RenderFeatures::newRender(const RenderEvent& event) noexcept {
  conversation_.reset();
  messages_.newRender();
  progress_.newRender();
  previews_.newRender(event);
  chart_.newRender();
}

bool RenderFeatures::anyToSend(const RenderEvent& event) const noexcept {
  // An instance that can no longer post still takes back the alerts it
  // holds when the render ends: each goes with its own token.
  if (!event.canPost()) return event.ended() && alert_.holdsAlerts();
  const bool progress = event.progressOn() && (event.frameEvent() || event.ended());
  return event.messageOn() || progress || PreviewPosts::mayPost(event) || alert_.wants(event);
}

const ConversationPtr& RenderFeatures::conversation() {
  if (!conversation_) conversation_ = std::make_shared<RenderConversation>();
  return conversation_;
}

// The order of one event's requests, each for its reason:
// - Notify's addresses are looked up first, at the render's first frame
//   event, before any text that mentions them.
// - At a frame start the progress message comes first: with the thread
//   switch on it is the render's thread, into which the frame message goes.
// - A frame's preview follows the frame's message, whose reply tells the
//   channel's ID the upload needs; the progress edit comes after both.
// - The stall alert is scheduled after the event's messages, into the
//   thread they make.
// - At the end the alert is deleted before anything else: an alert that the
//   service posts after the completion would be the render's last word.
//   Then the progress message's last edit, then the completion. Deletes
//   that failed are tried only after the completion, never ahead of it, and
//   an alert the service would not delete gets its false alarm there. The
//   completion waits for all of these (a host may quit right after it), not
//   for the last frame's preview.
// - The chart of the frame times goes in the progress message's edits, or
//   else in the completion: the times are noted (note()) before the event's
//   edit takes them.
std::uint64_t RenderFeatures::post(const RenderEvent& event) {
  const ConversationPtr& talk = conversation();
  if (!event.canPost()) {
    alert_.beforeCompletion(event, talk);
    alert_.afterCompletion(event, talk);
    return latestPosting();
  }
  messages_.lookUpMentions(event);
  if (event.ended()) {
    alert_.beforeCompletion(event, talk);
    progress_.post(event, talk, chart_);
    FrameMessages::post(event, talk, chart_.forCompletion(event));
    alert_.afterCompletion(event, talk);
    const std::uint64_t completion = latestPosting();
    previews_.post(event, talk);
    return completion;
  }
  if (event.frameStarted()) progress_.post(event, talk, chart_);
  FrameMessages::post(event, talk);
  previews_.post(event, talk);
  if (event.frameDone()) progress_.post(event, talk, chart_);
  alert_.atFrame(event, talk);
  return 0;
}

}  // namespace pingwell
