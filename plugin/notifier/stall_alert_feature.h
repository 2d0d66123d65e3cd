#pragma once
// The stall alert's part of a render: scheduled and moved on at frame
// events, deleted when the render ends and when the instance goes. Its
// rules are StallAlert's; this turns the events into its calls on the
// posting thread, with the other requests in their order.
#include <memory>

#include "plugin/notifier/render_conversation.h"
#include "plugin/notifier/render_event.h"
#include "plugin/notifier/stall_alert.h"

namespace pingwell {

class StallAlertFeature {
 public:
  // Whether the event has a part for the alert: a frame event or the end,
  // while the alert is on, or after it was on while one may still be held.
  bool wants(const RenderEvent& event) const noexcept;

  // Whether the render's end has alerts to take back although the instance
  // can no longer post: deletes go with each alert's own token.
  bool holdsAlerts() const noexcept { return alert_ != nullptr; }

  // A frame event: the alert scheduled, or moved on. Throws only
  // std::bad_alloc.
  void atFrame(const RenderEvent& event, const ConversationPtr& talk);
  // The render ended: the pending alert is deleted, before the completion.
  // Throws only std::bad_alloc.
  void beforeCompletion(const RenderEvent& event, const ConversationPtr& talk);
  // After the completion: deletes that failed are tried again, and an
  // alert the service would not delete is followed by a false alarm.
  // Throws only std::bad_alloc.
  void afterCompletion(const RenderEvent& event, const ConversationPtr& talk);
  // The instance goes (its scene is cleared, the host unloads the module):
  // the posting thread deletes every alert it holds before the module's
  // shutdown ends. Throws only std::bad_alloc.
  void unload();

 private:
  // Made at the first event that needs it and kept for the instance's life
  // (an alert of an earlier render may still be held, to be deleted); used
  // on the posting thread alone.
  std::shared_ptr<StallAlert> alert_;
};

}  // namespace pingwell
