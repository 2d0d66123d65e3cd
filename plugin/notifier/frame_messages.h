#pragma once
// The render's messages: "Frame Started" and "Frame Rendered" under their
// switches, and the render-completed (or aborted) message under its own,
// with what "Add render times" adds, into the render's thread with that
// switch on, the completion ending with the mentions of "Notify".
#include <string>

#include "plugin/notifier/frame_time_chart.h"
#include "plugin/notifier/render_conversation.h"
#include "plugin/notifier/render_event.h"

namespace pingwell {

class FrameMessages {
 public:
  // Where an event's message goes, decided at the event.
  struct Place {
    bool inThread = false;
    bool completed = false;  // the render-completed (or aborted) message
    // The completion: when the render ended, from which its tries count.
    RenderEnded renderEnded = std::nullopt;
  };

  // A new render: "Notify" is looked up again at its first frame event.
  void newRender() noexcept { mentionsAsked_ = false; }

  // At the render's first frame event, while its completion or its stall
  // alert will mention somebody: the e-mail addresses in "Notify" are looked
  // up on the posting thread, so that the completion finds them known and
  // carries no lookup of its own. One that did not reach the service is
  // tried again at the next render. Throws only std::bad_alloc.
  void lookUpMentions(const RenderEvent& event);

  // The event's message, when its switch is on, with the chart of `chart`'s
  // frame times under its text. Throws only std::bad_alloc.
  static void post(const RenderEvent& event, const ConversationPtr& talk,
                   const ChartTimes& chart = nullptr);

  // The event's text, also when its switch is off (a preview's upload may
  // need a message first). Throws only std::bad_alloc.
  static std::string text(const RenderEvent& event);
  static Place placeOf(const RenderEvent& event) noexcept {
    return {event.inThread(), event.ended(),
            event.ended() ? RenderEnded(event.now()) : std::nullopt};
  }

  // On the posting thread: posts `text` at `where` as `sender`. With the
  // thread switch on a message goes into the render's thread once it has
  // one (the completion shown in the channel too), and the first message the
  // service accepts makes the thread. The completion ends with the mentions
  // of "Notify", of the addresses as far as they are known. With `chart`,
  // the message carries the chart of those frame times, composed here with
  // the text as posted. Posting writes the line of a failure. Throws only
  // std::bad_alloc.
  static void send(const Sender& sender, RenderConversation& talk, Place where,
                   const std::string& text, const ChartTimes& chart = nullptr);

 private:
  bool mentionsAsked_ = false;
};

}  // namespace pingwell
