#include "plugin/notifier/stall_alert.h"

#include <algorithm>

namespace pingwell {

int32_t StallAlert::usedMinutes(int32_t setting) noexcept {
  if (setting <= 0) return 0;
  return std::clamp(setting, kShortestMinutes, kLongestMinutes);
}

PluginClock::duration StallAlert::window(int32_t minutes) const noexcept {
  const PluginClock::duration setting = std::chrono::minutes(minutes);
  const PluginClock::duration longest = kLongestWindow;
  return std::min(std::max(setting, 3 * longestFrame_), longest);
}

bool StallAlert::mayTrySchedule(PluginClock::time_point now) const noexcept {
  return failuresInARow_ < 2 || !lastTry_ || now - *lastTry_ >= kRetryInterval;
}

bool StallAlert::schedule(const StallAlertPlan& plan, PluginClock::time_point now,
                          StallAlertCalls& calls) {
  lastTry_ = now;
  std::optional<ScheduledAlert> made = calls.schedule(plan);
  if (!made) {
    ++failuresInARow_;
    return false;
  }
  failuresInARow_ = 0;
  letGoOfPending();
  pending_ = std::move(made);
  pendingDue_ = plan.due;
  pendingPostAt_ = plan.postAt;
  return true;
}

void StallAlert::letGoOfPending() {
  if (pending_) deletes_.push_back({std::move(*pending_), pendingDue_, pendingPostAt_});
  pending_.reset();
}

bool StallAlert::noteDeleteAnswer(const HeldAlert& held, AlertDeleteAnswer answer,
                                  PluginClock::time_point now) {
  if (answer == AlertDeleteAnswer::Failed) return false;
  // Refused while it is still pending by our count and about to be posted:
  // it will show; what comes after it is scheduled after its time.
  if (answer == AlertDeleteAnswer::Gone && now < held.due && held.due - now <= kRefusalReach &&
      (!toCome_ || toCome_->due < held.due)) {
    toCome_ = AlertToCome{held.due, held.postAt, false};
  }
  return true;
}

bool StallAlert::tryDeletes(PluginClock::time_point now, StallAlertCalls& calls) {
  bool posted = false;
  for (auto it = deletes_.begin(); it != deletes_.end();) {
    // Its time has passed: the service has posted it, nothing to delete.
    if (now >= it->due) {
      posted = true;
      it = deletes_.erase(it);
      continue;
    }
    if (noteDeleteAnswer(*it, calls.remove(it->alert), now)) {
      it = deletes_.erase(it);
    } else {
      ++it;
    }
  }
  return posted;
}

void StallAlert::noteFrame(bool frameStarted, PluginClock::time_point now) noexcept {
  if (!inRender_) {
    inRender_ = true;
    longestFrame_ = {};
    frameStart_.reset();
    lastEvent_.reset();
    toCome_.reset();
    failuresInARow_ = 0;
    lastTry_.reset();
  }
  if (frameStarted) {
    frameStart_ = now;
  } else if (frameStart_) {
    longestFrame_ = std::max(longestFrame_, now - *frameStart_);
    frameStart_.reset();
  }
}

bool StallAlert::tellPostedAlerts(int32_t frame, int64_t silentMinutes,
                                  PluginClock::time_point now, StallAlertCalls& calls) {
  // The service has posted an alert whose time has passed.
  bool said = false;
  if (pending_ && now >= pendingDue_) {
    pending_.reset();
    calls.goingAgain(frame, silentMinutes);
    said = true;
  }
  if (toCome_ && now >= toCome_->due) {
    if (!toCome_->goingAgainScheduled && !said) {
      calls.goingAgain(frame, silentMinutes);
      said = true;
    }
    toCome_.reset();
  }
  return said;
}

void StallAlert::moveOn(int32_t frame, int32_t minutes, PluginClock::time_point now,
                        int64_t unixNow, StallAlertCalls& calls) {
  const PluginClock::duration span = window(minutes);
  const PluginClock::time_point due = now + span;
  const bool moveWanted = !pending_ || due - pendingDue_ >= kMoveStep;
  if (!moveWanted) return;
  if (mayTrySchedule(now)) {
    StallAlertPlan plan;
    plan.due = due;
    plan.postAt = unixNow + std::chrono::ceil<std::chrono::seconds>(span).count();
    plan.eventUnixTime = unixNow;
    plan.frame = frame;
    plan.windowMinutes = std::chrono::duration_cast<std::chrono::minutes>(span).count();
    if (schedule(plan, now, calls)) return;
  }
  // The move fails and the next frame event may come too late to delete
  // the old alert: it goes now, while the service still deletes it, so that
  // a render that goes well never sees it. Scheduling goes on being tried.
  if (!pending_) return;
  const PluginClock::duration left = pendingDue_ - now;
  const PluginClock::duration lastChance = kUndeletable + std::chrono::minutes(1) + longestFrame_;
  if (left > kUndeletable && left <= lastChance) {
    calls.tellUnmovedDeleted();
    letGoOfPending();
  }
}

void StallAlert::frameEvent(bool frameStarted, int32_t frame, int32_t setting,
                            PluginClock::time_point now, int64_t unixNow, StallAlertCalls& calls) {
  const int32_t minutes = usedMinutes(setting);
  if (minutes == 0) {
    // Turned off during a render: nothing is left behind.
    if (pending_ || !deletes_.empty()) renderEnded(now, calls);
    return;
  }
  noteFrame(frameStarted, now);
  const PluginClock::duration quiet = lastEvent_ ? now - *lastEvent_ : window(minutes);
  const auto silent =
      static_cast<int64_t>(std::chrono::duration_cast<std::chrono::minutes>(quiet).count());
  bool said = tellPostedAlerts(frame, silent, now, calls);
  moveOn(frame, minutes, now, unixNow, calls);
  if (tryDeletes(now, calls) && !said) {
    calls.goingAgain(frame, silent);
    said = true;
  }
  // An alert the service would not delete shows at its time: that the
  // render goes on is said after it.
  if (toCome_ && !toCome_->goingAgainScheduled) {
    toCome_->goingAgainScheduled = calls.goingAgainAt(
        frame, silent, toCome_->postAt + std::chrono::seconds(kGoingAgainAfter).count());
  }
  lastEvent_ = now;
}

void StallAlert::renderEnding(PluginClock::time_point now, StallAlertCalls& calls) {
  if (pending_) {
    HeldAlert held{std::move(*pending_), pendingDue_, pendingPostAt_};
    pending_.reset();
    if (now < held.due && !noteDeleteAnswer(held, calls.remove(held.alert), now))
      deletes_.push_back(std::move(held));
  }
  inRender_ = false;
}

void StallAlert::afterCompletion(PluginClock::time_point now, const RenderEnd& end,
                                 StallAlertCalls& calls) {
  tryDeletes(now, calls);
  if (toCome_ && now < toCome_->due)
    calls.falseAlarmAt(end, toCome_->postAt + std::chrono::seconds(kFalseAlarmAfter).count());
  toCome_.reset();
  inRender_ = false;
}

void StallAlert::renderEnded(PluginClock::time_point now, StallAlertCalls& calls) {
  letGoOfPending();
  tryDeletes(now, calls);
  toCome_.reset();
  inRender_ = false;
}

void StallAlert::unload(PluginClock::time_point now, StallAlertCalls& calls) {
  renderEnded(now, calls);
  deletes_.clear();
}

}  // namespace pingwell
