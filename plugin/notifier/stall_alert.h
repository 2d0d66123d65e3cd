#pragma once
// The stall alert of one instance's render: a message the service holds
// (chat.scheduleMessage) and posts on its own unless it is deleted first, due
// a little after the render's next frame should have come. Frames move it on;
// a host that dies, a machine that goes dark or a frame that hangs leave it
// where it is, and the service posts it. This class decides when to schedule,
// move and delete it; the calls themselves, and the texts, are the caller's
// (StallAlertCalls). Times are on the plug-in's clock, handed in by the
// caller, so that the rules are tested without waiting.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "plugin/posting/plugin_clock.h"

namespace pingwell {

// One alert to schedule: when it is due, on the plug-in's clock and as Unix
// seconds (post_at), and what its text tells: the frame and the Unix time of
// the event that scheduled it and the window in whole minutes.
struct StallAlertPlan {
  PluginClock::time_point due;
  int64_t postAt = 0;
  int64_t eventUnixTime = 0;
  int32_t frame = 0;
  int64_t windowMinutes = 0;
};

// An alert the service holds: the channel's ID its scheduling answered, and
// the scheduled message's ID.
struct ScheduledAlert {
  std::string channelId;
  std::string id;
};

enum class AlertDeleteAnswer {
  Deleted,  // the service deleted it
  Gone,     // the service knows no such pending message (posted, or deleted before)
  Failed,   // anything else: to be tried again
};

// The calls the alert makes; each writes its own line when it fails.
class StallAlertCalls {
 public:
  virtual ~StallAlertCalls() = default;
  // chat.scheduleMessage; nothing when it failed.
  virtual std::optional<ScheduledAlert> schedule(const StallAlertPlan& plan) = 0;
  // chat.deleteScheduledMessage.
  virtual AlertDeleteAnswer remove(const ScheduledAlert& alert) = 0;
  // "Render going again: frame F rendered after W min".
  virtual void goingAgain(int32_t frame, int64_t silentMinutes) = 0;
};

class StallAlert {
 public:
  // An alert is moved only when it would be due this much later.
  static constexpr std::chrono::minutes kMoveStep{5};
  // The service does not delete a message due within this time.
  static constexpr std::chrono::seconds kUndeletable{60};
  // The setting's bounds: 1 to 9 minutes are taken as 10, and at most a week.
  static constexpr int32_t kShortestMinutes = 10;
  static constexpr int32_t kLongestMinutes = 10080;

  // The setting as it is used: 0 (off) for 0 and below, else within the
  // bounds above.
  static int32_t usedMinutes(int32_t setting) noexcept;

  // A frame-started or frame-rendered event of the render at `now` (on the
  // plug-in's clock; `unixNow` is the same moment as Unix seconds), with
  // the alert set to `setting` minutes (see usedMinutes; 0 does nothing):
  // - an alert whose time has passed was posted by the service: the render
  //   goes on, which `calls` is told (goingAgain), and a new alert is
  //   scheduled;
  // - else an alert is scheduled when none is pending (the render's first
  //   frame event, or a scheduling that failed), and moved when now + the
  //   window is at least kMoveStep later than the pending one's time:
  //   the new one scheduled first, the old one deleted second;
  // - deletes that failed before are tried again.
  // The window is the larger of the setting and three times the longest
  // frame of this render so far (frame started to frame rendered).
  void frameEvent(bool frameStarted, int32_t frame, int32_t setting, PluginClock::time_point now,
                  int64_t unixNow, StallAlertCalls& calls);

  // The render completed or was aborted: the pending alert is deleted, and
  // the next frame event begins a new render.
  void renderEnded(PluginClock::time_point now, StallAlertCalls& calls);

  // The module unloads: every alert still held is deleted, once.
  void unload(PluginClock::time_point now, StallAlertCalls& calls);

  // The alert now pending, if any, and when it is due.
  const std::optional<ScheduledAlert>& pending() const noexcept { return pending_; }
  PluginClock::time_point pendingDue() const noexcept { return pendingDue_; }
  // Alerts still to be deleted (deletes that failed).
  size_t deletesLeft() const noexcept { return deletes_.size(); }
  // Whether any alert is held: pending, or still to be deleted.
  bool holdsAlerts() const noexcept { return pending_.has_value() || !deletes_.empty(); }

 private:
  struct HeldAlert {
    ScheduledAlert alert;
    PluginClock::time_point due;
  };

  PluginClock::duration window(int32_t minutes) const noexcept;
  bool schedule(const StallAlertPlan& plan, StallAlertCalls& calls);
  // Tries every delete held; true when one was refused because its alert
  // was due within kUndeletable (so the service posts it).
  bool tryDeletes(PluginClock::time_point now, StallAlertCalls& calls);

  std::optional<ScheduledAlert> pending_;
  PluginClock::time_point pendingDue_{};
  std::vector<HeldAlert> deletes_;
  bool inRender_ = false;
  std::optional<PluginClock::time_point> frameStart_;
  PluginClock::duration longestFrame_{};
  std::optional<PluginClock::time_point> lastEvent_;
};

}  // namespace pingwell
