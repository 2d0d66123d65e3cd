#include "plugin/notifier/stall_alert_feature.h"

#include <chrono>

#include "plugin/notifier/machine_name.h"
#include "plugin/notifier/notifier_instance.h"
#include "plugin/notifier/stall_alert_calls.h"
#include "plugin/posting/posting_queue.h"

namespace pingwell {

namespace {

// What the alert's texts need of the event, copied for the posting thread.
std::shared_ptr<StallAlertContext> contextOf(const RenderEvent& event) {
  auto context = std::make_shared<StallAlertContext>();
  const Sender& sender = *event.sender();
  context->token = sender.token;
  context->userName = sender.userName;
  context->channel = sender.channel;
  context->notify = sender.notify;
  context->sceneFile = keptSceneName(event.sceneFile());
  context->moment = event.moment();
  context->range = event.range();
  if (event.renderNode()) context->machine = machineName();
  return context;
}

int64_t unixSecondsNow() noexcept {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

bool StallAlertFeature::wants(const RenderEvent& event) const noexcept {
  return (event.frameEvent() || event.ended()) &&
         (StallAlert::usedMinutes(event.alertMinutes()) > 0 || alert_ != nullptr);
}

void StallAlertFeature::atFrame(const RenderEvent& event, const ConversationPtr& talk) {
  if (!wants(event) || !event.frameEvent()) return;
  if (!alert_) alert_ = std::make_shared<StallAlert>();
  (void)handOverPosting(
      [alert = alert_, talk, context = contextOf(event), inThread = event.inThread(),
       started = event.frameStarted(), now = event.now(), unixNow = unixSecondsNow(),
       minutes = event.alertMinutes()] {
        // Into the thread the event's messages made.
        if (inThread) context->threadTs = talk->threadTs();
        PostedStallAlertCalls calls(*context, PostKind::Skippable);
        alert->frameEvent(started, context->moment.frame, minutes, now, unixNow, calls);
      },
      QueueKeep::Droppable);
}

void StallAlertFeature::atEnd(const RenderEvent& event, const ConversationPtr& talk) {
  if (!wants(event) || !event.ended()) return;
  if (!alert_) alert_ = std::make_shared<StallAlert>();
  (void)handOverPosting(
      [alert = alert_, talk, context = contextOf(event), inThread = event.inThread(),
       now = event.now()] {
        if (inThread) context->threadTs = talk->threadTs();
        PostedStallAlertCalls calls(*context, PostKind::NeverSkipped);
        alert->renderEnded(now, calls);
      },
      QueueKeep::UntilShutdown);
}

void StallAlertFeature::unload(const NotifierInstance& notifier) {
  if (!alert_) return;
  auto context = std::make_shared<StallAlertContext>();
  context->token = notifier.token;
  context->userName = notifier.userName;
  context->channel = notifier.channel;
  (void)handOverPosting(
      [alert = alert_, context, now = pluginNow()] {
        if (!alert->holdsAlerts()) return;
        PostedStallAlertCalls calls(*context, PostKind::NeverSkipped);
        alert->unload(now, calls);
      },
      QueueKeep::UntilShutdown);
}

}  // namespace pingwell
