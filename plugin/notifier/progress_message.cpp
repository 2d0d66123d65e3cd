#include "plugin/notifier/progress_message.h"

#include "plugin/notifier/message_text.h"
#include "plugin/posting/blocks_fallback.h"
#include "plugin/posting/posting_queue.h"

namespace pingwell {

void ProgressMessage::newRender() noexcept {
  edited_ = false;
  lastEdit_ = {};
  message_.reset();
}

void ProgressMessage::post(const RenderEvent& event, const ConversationPtr& talk,
                           const FrameTimeChartFeature& chart) {
  if (!event.progressOn()) return;
  if (!message_) message_ = std::make_shared<Message>();
  if (event.frameStarted()) {
    start(event, talk);
  } else if (event.frameDone() || event.ended()) {
    edit(event, chart);
  }
}

void ProgressMessage::start(const RenderEvent& event, const ConversationPtr& talk) {
  (void)handOverPosting(
      [sender = event.sender(), talk, message = message_, inThread = event.inThread(),
       text = progressStartText(event.sceneFile(), event.moment(), event.range())] {
        if (!message->ts.empty() || message->editsEnded) return;
        const PostResult result = postMessageAs(sender->settings(), PostKind::Skippable, text);
        const PostOutcome& outcome = result.outcome;
        // Taken only when the reply gave both, in the service's shape.
        if (!outcome.sent() || outcome.channelId.empty() || outcome.ts.empty()) return;
        message->channelId = outcome.channelId;
        message->ts = outcome.ts;
        if (inThread) talk->takeThread(outcome.ts);
      },
      QueueKeep::Droppable);
}

void ProgressMessage::edit(const RenderEvent& event, const FrameTimeChartFeature& chart) {
  const bool last = event.ended();
  if (!last) {
    if (edited_ && event.now() - lastEdit_ < kEditInterval) return;
    edited_ = true;
    lastEdit_ = event.now();
  }
  std::string text = last ? progressEndText(event.sceneFile(), event.moment())
                          : progressFrameText(event.sceneFile(), event.moment(), event.range());
  // The last edit is tried as the completion is; the others may be skipped
  // or dropped.
  (void)handOverPosting(
      [sender = event.sender(), message = message_, last, text = std::move(text),
       times = chart.forProgressEdit(event)] {
        if (message->ts.empty() || message->editsEnded) return;
        const PostResult result = editMessageWithBlocks(
            sender->settings(), last ? PostKind::NeverSkipped : PostKind::Skippable,
            message->channelId, message->ts, text, frameTimeChartBlocks(text, times));
        if (!result.skipped && result.outcome.refusedForGood()) message->editsEnded = true;
      },
      last ? QueueKeep::UntilShutdown : QueueKeep::Droppable);
}

}  // namespace pingwell
