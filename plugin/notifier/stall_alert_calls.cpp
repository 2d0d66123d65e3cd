#include "plugin/notifier/stall_alert_calls.h"

#include "plugin/notifier/message_text.h"
#include "slack/api_request.h"
#include "slack/client.h"
#include "slack/diagnostics.h"

namespace pingwell {

namespace {

constexpr std::string_view kSchedule = "chat.scheduleMessage";
constexpr std::string_view kDeleteScheduled = "chat.deleteScheduledMessage";

}  // namespace

std::string PostedStallAlertCalls::alertText(const StallAlertPlan& plan) const {
  RenderMoment moment = context_.moment;
  moment.frame = plan.frame;
  return withMentions(stallAlertText(sceneFile(), moment, context_.range, plan.windowMinutes,
                                     plan.eventUnixTime, context_.machine),
                      context_.mentions);
}

std::optional<ScheduledAlert> PostedStallAlertCalls::scheduleText(const std::string& text,
                                                                  int64_t postAt, bool broadcast) {
  // Never "metadata": a message scheduled with it is never posted.
  ApiRequest request;
  request.webApi(kSchedule);
  request.add("channel", context_.channel);
  request.add("post_at", std::to_string(postAt));
  request.add("text", text);
  if (!context_.threadTs.empty()) {
    request.add("thread_ts", context_.threadTs);
    if (broadcast) request.add("reply_broadcast", "true");
  }
  const PostResult result = callAs(settings(), PostKind::NeverSkipped, kSchedule, text,
                                   [&](SlackClient& client) { return client.call(request); });
  const PostOutcome& outcome = result.outcome;
  if (!outcome.sent() || outcome.channelId.empty() || outcome.scheduledMessageId.empty())
    return std::nullopt;
  return ScheduledAlert{outcome.channelId, outcome.scheduledMessageId, context_.token};
}

std::optional<ScheduledAlert> PostedStallAlertCalls::schedule(const StallAlertPlan& plan) {
  return scheduleText(alertText(plan), plan.postAt, true);
}

AlertDeleteAnswer PostedStallAlertCalls::remove(const ScheduledAlert& alert) {
  ApiRequest request;
  request.webApi(kDeleteScheduled);
  request.add("channel", alert.channelId);
  request.add("scheduled_message_id", alert.id);
  // The token that scheduled it: only it may delete it.
  const std::string none;
  const PostResult result =
      callAs({alert.token, none, none}, PostKind::NeverSkipped, kDeleteScheduled,
             "stall alert " + alert.id, [&](SlackClient& client) { return client.call(request); });
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
  postMessageAs(settings(), PostKind::NeverSkipped,
                goingAgainText(sceneFile(), frame, silentMinutes), place);
}

bool PostedStallAlertCalls::goingAgainAt(int32_t frame, int64_t silentMinutes, int64_t postAt) {
  return scheduleText(goingAgainText(sceneFile(), frame, silentMinutes), postAt, false)
      .has_value();
}

bool PostedStallAlertCalls::falseAlarmAt(const RenderEnd& end, int64_t postAt) {
  const std::string text = withMentions(
      falseAlarmText(sceneFile(), end.abortedAtFrame, end.unixTime), context_.mentions);
  return scheduleText(text, postAt, true).has_value();
}

void PostedStallAlertCalls::tellUnmovedDeleted() {
  writeDiagnostic(
      "error the stall alert could not be moved on: it is deleted before its time, so that it "
      "does not go off while the render goes on; scheduling it is tried again at the next frames");
}

}  // namespace pingwell
