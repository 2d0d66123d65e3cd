#pragma once
// "Progress in one message": the render's progress kept in one message,
// posted into the channel when its first frame starts (again at the next
// frame start while that fails), edited as frames are rendered at most
// every kEditInterval (on the plug-in's clock, at the event), and once more
// when the render completes. With the thread switch on it is the render's
// thread. An edit the service refuses for good ends the edits of that
// render.
#include <chrono>
#include <memory>
#include <string>

#include "plugin/notifier/frame_time_chart_feature.h"
#include "plugin/notifier/render_conversation.h"
#include "plugin/notifier/render_event.h"

namespace pingwell {

class ProgressMessage {
 public:
  // At most one edit of the message in this time.
  static constexpr std::chrono::seconds kEditInterval{10};

  // A new render: a message of its own.
  void newRender() noexcept;

  // The event's part, while the switch is on: the message posted at a frame
  // start, edited at a frame rendered (when kEditInterval has passed) and at
  // the completion, each edit with the chart of the frame times that
  // `chart` hands it. Throws only std::bad_alloc.
  void post(const RenderEvent& event, const ConversationPtr& talk,
            const FrameTimeChartFeature& chart);

  // Whether the service has taken the render's message (read once the
  // posting thread is idle: for the benchmarks).
  bool posted() const noexcept { return message_ && !message_->ts.empty(); }

 private:
  // The message as the service took it, read and noted on the posting
  // thread alone: the channel's ID and the `ts` its reply gave.
  struct Message {
    std::string channelId;
    std::string ts;
    bool editsEnded = false;
  };
  using MessagePtr = std::shared_ptr<Message>;

  void start(const RenderEvent& event, const ConversationPtr& talk);
  void edit(const RenderEvent& event, const FrameTimeChartFeature& chart);

  // On the render's thread: the pace of the edits.
  bool edited_ = false;
  PluginClock::time_point lastEdit_{};
  // Made at the render's first request.
  MessagePtr message_;
};

}  // namespace pingwell
