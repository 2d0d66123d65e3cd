#include "plugin/notifier/frame_messages.h"

#include "plugin/notifier/email_lookup.h"
#include "plugin/notifier/machine_name.h"
#include "plugin/notifier/message_text.h"
#include "plugin/notifier/notifier_instance.h"
#include "plugin/notifier/stall_alert.h"
#include "plugin/posting/blocks_fallback.h"
#include "plugin/posting/posting_queue.h"

namespace pingwell {

void FrameMessages::lookUpMentions(const RenderEvent& event) {
  if (mentionsAsked_ || !event.frameEvent()) return;
  const NotifierInstance& notifier = event.instance();
  const bool mentions = switchIsOn(notifier.notifyRenderDone) ||
                        StallAlert::usedMinutes(notifier.alertMinutes) > 0;
  if (notifier.notify.empty() || !mentions) return;
  mentionsAsked_ = true;
  (void)handOverPosting(
      [sender = event.sender()] {
        (void)pingwell::lookUpMentions(sender->settings(), PostKind::NeverSkipped,
                                       sender->notify);
      },
      QueueKeep::Droppable);
}

std::string FrameMessages::text(const RenderEvent& event) {
  const RenderMoment& moment = event.moment();
  // Only a render completed tells of an abort.
  std::string text = moment.abortedAtFrame
                         ? composeAbortedMessage(event.sceneFile(), *moment.abortedAtFrame)
                         : composeMessage(event.code(), event.sceneFile(), event.frame());
  if (event.renderTimes()) {
    text += renderTimesText(event.code(), moment,
                            event.renderNode() && event.ended() ? machineName() : std::string(),
                            event.range());
  }
  return text;
}

void FrameMessages::post(const RenderEvent& event, const ConversationPtr& talk,
                         const ChartTimes& chart) {
  if (!event.messageOn()) return;
  // A render's completion is never dropped; frame messages may be when too
  // many wait.
  (void)handOverPosting(
      [sender = event.sender(), talk, where = placeOf(event), message = text(event), chart] {
        send(*sender, *talk, where, message, chart);
      },
      event.ended() ? QueueKeep::UntilShutdown : QueueKeep::Droppable);
}

void FrameMessages::send(const Sender& sender, RenderConversation& talk, Place where,
                         const std::string& text, const ChartTimes& chart) {
  std::string named;
  if (where.completed && !sender.notify.empty())
    named = withMentions(text, mentionsLine(knownMentions(sender.settings(), sender.notify)));
  ThreadPlace place;
  if (where.inThread) {
    place.threadTs = talk.threadTs();
    place.broadcast = where.completed;
  }
  const std::string& posted = named.empty() ? text : named;
  const PostResult result = postMessageWithBlocks(
      sender.settings(), where.completed ? PostKind::Completion : PostKind::Skippable, posted,
      frameTimeChartBlocks(posted, chart), place, where.renderEnded);
  if (where.inThread && result.outcome.sent()) talk.takeThread(result.outcome.ts);
}

}  // namespace pingwell
