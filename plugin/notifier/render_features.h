#pragma once
// The features of one instance's renders, each one unit with its own
// per-render state and rules: the frame and completion messages, the
// progress message, the previews and the stall alert. Every render event
// goes to each in turn, in the one order written in post(), and each turns
// it into jobs for the posting thread. A new feature is one more unit here.
#include <cstdint>

#include "plugin/notifier/frame_messages.h"
#include "plugin/notifier/frame_time_chart_feature.h"
#include "plugin/notifier/progress_message.h"
#include "plugin/notifier/preview_posts.h"
#include "plugin/notifier/render_conversation.h"
#include "plugin/notifier/render_event.h"
#include "plugin/notifier/stall_alert_feature.h"

namespace pingwell {

class RenderFeatures {
 public:
  // The event began a new render: every feature begins anew. Requests still
  // queued keep the conversation of their own render; the next request of
  // this one makes a new one. Allocates nothing.
  void newRender(const RenderEvent& event) noexcept;

  // Whether any feature has something to send for the event. Allocates
  // nothing: an event that posts nothing does no I/O at all.
  bool anyToSend(const RenderEvent& event) const noexcept;

  // At every render event, before anything is sent or not: what the
  // features keep of the render whether or not the event posts (the frame
  // times of the chart). Throws only std::bad_alloc.
  void note(const RenderEvent& event) { chart_.note(event); }

  // Hands the event's requests to the posting thread, in their order.
  // Returns the number of the job the render's completion waits for (0:
  // none). Throws std::bad_alloc and what handing over throws.
  std::uint64_t post(const RenderEvent& event);

  // The instance goes: what it leaves with the service is taken back.
  void unload() { alert_.unload(); }

  const ProgressMessage& progress() const noexcept { return progress_; }

 private:
  const ConversationPtr& conversation();

  ConversationPtr conversation_;  // the render's; made at its first request
  FrameMessages messages_;
  ProgressMessage progress_;
  PreviewPosts previews_;
  StallAlertFeature alert_;
  FrameTimeChartFeature chart_;
};

}  // namespace pingwell
