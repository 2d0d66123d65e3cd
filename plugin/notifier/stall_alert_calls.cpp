#include "plugin/notifier/stall_alert_calls.h"

#include "plugin/notifier/email_lookup.h"
#include "plugin/notifier/message_text.h"
#include "slack/api_request.h"
#include "slack/client.h"

namespace pingwell {

namespace {

constexpr std::string_view kSchedule = "chat.scheduleMessage";
constexpr std::string_view kDeleteScheduled = "chat.deleteScheduledMessage";

}  // namespace

std::string PostedStallAlertCalls::alertText(const StallAlertPlan& plan) {
  RenderMoment moment = context_.moment;
  moment.frame = plan.frame;
  return withMentions(
      stallAlertText(sceneFile(), moment, context_.range, plan.windowMinutes, plan.eventUnixTime,
                     context_.machine),
      mentionsLine(lookUpMentions(settings(), PostKind::Skippable, context_.notify)));
}

std::optional<ScheduledAlert> PostedStallAlertCalls::schedule(const StallAlertPlan& plan) {
  const std::string text = alertText(plan);
  // Never "metadata": a message scheduled with it is never posted.
  ApiRequest request;
  request.webApi(kSchedule);
  request.add("channel", context_.channel);
  request.add("post_at", std::to_string(plan.postAt));
  request.add("text", text);
  if (!context_.threadTs.empty()) {
    request.add("thread_ts", context_.threadTs);
    request.add("reply_broadcast", "true");
  }
  const PostResult result = callAs(settings(), PostKind::Skippable, kSchedule, text,
                                   [&](SlackClient& client) { return client.call(request); });
  const PostOutcome& outcome = result.outcome;
  if (!outcome.sent() || outcome.channelId.empty() || outcome.scheduledMessageId.empty())
    return std::nullopt;
  return ScheduledAlert{outcome.channelId, outcome.scheduledMessageId};
}

AlertDeleteAnswer PostedStallAlertCalls::remove(const ScheduledAlert& alert) {
  ApiRequest request;
  request.webApi(kDeleteScheduled);
  request.add("channel", alert.channelId);
  request.add("scheduled_message_id", alert.id);
  const PostResult result =
      callAs(settings(), deleteKind_, kDeleteScheduled, "stall alert " + alert.id,
             [&](SlackClient& client) { return client.call(request); });
  const PostOutcome& outcome = result.outcome;
  if (outcome.sent()) return AlertDeleteAnswer::Deleted;
  if (outcome.kind == PostOutcome::Kind::ServiceError &&
      outcome.errorName == "invalid_scheduled_message_id") {
    return AlertDeleteAnswer::Gone;
  }
  return AlertDeleteAnswer::Failed;
}

void PostedStallAlertCalls::goingAgain(int32_t frame, int64_t silentMinutes) {
  ThreadPlace place;
  place.threadTs = context_.threadTs;
  postMessageAs(settings(), PostKind::Skippable,
                goingAgainText(sceneFile(), frame, silentMinutes), place);
}

}  // namespace pingwell
