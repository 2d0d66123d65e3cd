#include "plugin/notifier/stall_alert_feature.h"

#include <chrono>

#include "plugin/notifier/email_lookup.h"
#include "plugin/notifier/machine_name.h"
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

// Hands over `step` with the alert, its calls made with the event's
// context: into the render's thread with that switch on (the thread the
// event's messages made), mentioning whom "Notify" names, as far as the
// render's first frame event looked them up.
template <typename Step>
void handOverStep(const std::shared_ptr<StallAlert>& alert, const RenderEvent& event,
                  const ConversationPtr& talk, QueueKeep keep, Step step) {
  (void)handOverPosting(
      [alert, talk, context = contextOf(event), sender = event.sender(),
       inThread = event.inThread(), step = std::move(step)] {
        if (inThread) context->threadTs = talk->threadTs();
        context->mentions = mentionsLine(knownMentions(sender->settings(), sender->notify));
        PostedStallAlertCalls calls(*context);
        step(*alert, calls, *context);
      },
      keep);
}

}  // namespace

bool StallAlertFeature::wants(const RenderEvent& event) const noexcept {
  return (event.frameEvent() || event.ended()) &&
         (StallAlert::usedMinutes(event.alertMinutes()) > 0 || alert_ != nullptr);
}

void StallAlertFeature::atFrame(const RenderEvent& event, const ConversationPtr& talk) {
  if (!wants(event) || !event.frameEvent()) return;
  if (!alert_) alert_ = std::make_shared<StallAlert>();
  handOverStep(alert_, event, talk, QueueKeep::Droppable,
               [started = event.frameStarted(), now = event.now(), unixNow = unixSecondsNow(),
                minutes = event.alertMinutes()](StallAlert& alert, StallAlertCalls& calls,
                                                 const StallAlertContext& context) {
                 alert.frameEvent(started, context.moment.frame, minutes, now, unixNow, calls);
               });
}

void StallAlertFeature::beforeCompletion(const RenderEvent& event, const ConversationPtr& talk) {
  if (!wants(event) || !event.ended()) return;
  if (!alert_) alert_ = std::make_shared<StallAlert>();
  handOverStep(alert_, event, talk, QueueKeep::UntilShutdown,
               [now = event.now()](StallAlert& alert, StallAlertCalls& calls,
                                   const StallAlertContext&) { alert.renderEnding(now, calls); });
}

void StallAlertFeature::afterCompletion(const RenderEvent& event, const ConversationPtr& talk) {
  if (!alert_ || !event.ended()) return;
  handOverStep(alert_, event, talk, QueueKeep::UntilShutdown,
               [now = event.now(), end = RenderEnd{unixSecondsNow(), event.moment().abortedAtFrame}](
                   StallAlert& alert, StallAlertCalls& calls, const StallAlertContext&) {
                 alert.afterCompletion(now, end, calls);
               });
}

void StallAlertFeature::unload() {
  if (!alert_) return;
  // Each alert is deleted with the token that scheduled it: the instance
  // may have none left.
  (void)handOverPosting(
      [alert = alert_, now = pluginNow()] {
        if (!alert->holdsAlerts()) return;
        const StallAlertContext none;
        PostedStallAlertCalls calls(none);
        alert->unload(now, calls);
      },
      QueueKeep::UntilShutdown);
}

}  // namespace pingwell
