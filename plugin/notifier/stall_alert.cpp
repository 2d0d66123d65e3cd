#include "plugin/notifier/stall_alert.h"

#include <algorithm>

namespace pingwell {

int32_t StallAlert::usedMinutes(int32_t setting) noexcept {
  if (setting <= 0) return 0;
  return std::clamp(setting, kShortestMinutes, kLongestMinutes);
}

PluginClock::duration StallAlert::window(int32_t minutes) const noexcept {
  const PluginClock::duration setting = std::chrono::minutes(minutes);
  return std::max(setting, 3 * longestFrame_);
}

bool StallAlert::schedule(const StallAlertPlan& plan, StallAlertCalls& calls) {
  std::optional<ScheduledAlert> made = calls.schedule(plan);
  if (!made) return false;
  if (pending_) deletes_.push_back({std::move(*pending_), pendingDue_});
  pending_ = std::move(made);
  pendingDue_ = plan.due;
  return true;
}

bool StallAlert::tryDeletes(PluginClock::time_point now, StallAlertCalls& calls) {
  bool postedAnyway = false;
  for (auto it = deletes_.begin(); it != deletes_.end();) {
    const AlertDeleteAnswer answer = calls.remove(it->alert);
    if (answer == AlertDeleteAnswer::Failed) {
      ++it;
      continue;
    }
    if (answer == AlertDeleteAnswer::Gone && it->due - now <= kUndeletable) postedAnyway = true;
    it = deletes_.erase(it);
  }
  return postedAnyway;
}

void StallAlert::frameEvent(bool frameStarted, int32_t frame, int32_t setting,
                            PluginClock::time_point now, int64_t unixNow, StallAlertCalls& calls) {
  const int32_t minutes = usedMinutes(setting);
  if (minutes == 0) {
    // Turned off during a render: nothing is left behind.
    if (pending_ || !deletes_.empty()) renderEnded(now, calls);
    return;
  }
  if (!inRender_) {
    inRender_ = true;
    longestFrame_ = {};
    frameStart_.reset();
    lastEvent_.reset();
  }
  if (frameStarted) {
    frameStart_ = now;
  } else if (frameStart_) {
    longestFrame_ = std::max(longestFrame_, now - *frameStart_);
    frameStart_.reset();
  }
  const auto silence = [&] {
    const PluginClock::duration quiet = lastEvent_ ? now - *lastEvent_ : window(minutes);
    return static_cast<int64_t>(std::chrono::duration_cast<std::chrono::minutes>(quiet).count());
  };
  // The service has posted an alert whose time has passed.
  bool goingAgain = false;
  if (pending_ && now >= pendingDue_) {
    pending_.reset();
    calls.goingAgain(frame, silence());
    goingAgain = true;
  }
  const PluginClock::duration span = window(minutes);
  const PluginClock::time_point due = now + span;
  if (!pending_ || due - pendingDue_ >= kMoveStep) {
    StallAlertPlan plan;
    plan.due = due;
    plan.postAt = unixNow + std::chrono::ceil<std::chrono::seconds>(span).count();
    plan.eventUnixTime = unixNow;
    plan.frame = frame;
    plan.windowMinutes = std::chrono::duration_cast<std::chrono::minutes>(span).count();
    schedule(plan, calls);
  }
  // An alert the service would not delete because it was due within a
  // minute is posted: the render has gone on after it.
  if (tryDeletes(now, calls) && !goingAgain) calls.goingAgain(frame, silence());
  lastEvent_ = now;
}

void StallAlert::renderEnded(PluginClock::time_point now, StallAlertCalls& calls) {
  if (pending_ && now < pendingDue_) deletes_.push_back({std::move(*pending_), pendingDue_});
  pending_.reset();
  tryDeletes(now, calls);
  inRender_ = false;
}

void StallAlert::unload(PluginClock::time_point now, StallAlertCalls& calls) {
  renderEnded(now, calls);
  deletes_.clear();
}

}  // namespace pingwell
