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

// An alert the service holds: the channel's ID its scheduling answered, the
// scheduled message's ID, and the token that scheduled it, which is the one
// that deletes it (the artist may paste another meanwhile).
struct ScheduledAlert {
  std::string channelId;
  std::string id;
  std::string token;
};

enum class AlertDeleteAnswer {
  Deleted,  // the service deleted it
  Gone,     // the service knows no such pending message (posted, about to be, or deleted before)
  Failed,   // anything else: to be tried again
};

// How a render ended, for the message that takes back an alert the service
// would not delete: its Unix time, and the frame of an abort.
struct RenderEnd {
  int64_t unixTime = 0;
  std::optional<int32_t> abortedAtFrame;
};

// The calls the alert makes; each writes its own line when it fails.
class StallAlertCalls {
 public:
  virtual ~StallAlertCalls() = default;
  // chat.scheduleMessage; nothing when it failed.
  virtual std::optional<ScheduledAlert> schedule(const StallAlertPlan& plan) = 0;
  // chat.deleteScheduledMessage, with the alert's own token and channel ID.
  virtual AlertDeleteAnswer remove(const ScheduledAlert& alert) = 0;
  // "Render going again: frame F rendered after W min", posted now.
  virtual void goingAgain(int32_t frame, int64_t silentMinutes) = 0;
  // The same, scheduled at `postAt` (Unix seconds); true when the service
  // took it.
  virtual bool goingAgainAt(int32_t frame, int64_t silentMinutes, int64_t postAt) = 0;
  // "False alarm: the render completed (or was aborted)", scheduled at
  // `postAt`; true when the service took it.
  virtual bool falseAlarmAt(const RenderEnd& end, int64_t postAt) = 0;
  // One line: the alert could not be moved on, and is deleted before its
  // time so that it does not go off during a render that goes well.
  virtual void tellUnmovedDeleted() = 0;
};

class StallAlert {
 public:
  // An alert is moved only when it would be due this much later.
  static constexpr std::chrono::minutes kMoveStep{5};
  // The service does not delete a message due within this time.
  static constexpr std::chrono::seconds kUndeletable{60};
  // A refusal to delete an alert due within this time of the event is the
  // service's refusal of one about to be posted: its minute, with the time
  // the call may have waited behind other requests and rate limits.
  static constexpr std::chrono::minutes kRefusalReach{3};
  // What is said after an alert the service would not delete comes this
  // long after it: "going again" first, a false alarm after that.
  static constexpr std::chrono::seconds kGoingAgainAfter{5};
  static constexpr std::chrono::seconds kFalseAlarmAfter{10};
  // A scheduling that failed twice in a row is tried at most this often.
  static constexpr std::chrono::minutes kRetryInterval{1};
  // The service schedules at most 120 days ahead; an hour less, for clocks
  // that differ.
  static constexpr std::chrono::hours kLongestWindow{24 * 120 - 1};
  // The setting's bounds: 1 to 9 minutes are taken as 10, and at most a week.
  static constexpr int32_t kShortestMinutes = 10;
  static constexpr int32_t kLongestMinutes = 10080;

  // The setting as it is used: 0 (off) for 0 and below, else within the
  // bounds above.
  static int32_t usedMinutes(int32_t setting) noexcept;

  // A frame-started or frame-rendered event of the render at `now` (on the
  // plug-in's clock; `unixNow` is the same moment as Unix seconds), with
  // the alert set to `setting` minutes (see usedMinutes; 0 deletes what is
  // held, as renderEnded):
  // - an alert whose time has passed was posted by the service: the render
  //   goes on, which `calls` is told (goingAgain), and a new alert is
  //   scheduled;
  // - else an alert is scheduled when none is pending (the render's first
  //   frame event, or a scheduling that failed), and moved when now + the
  //   window is at least kMoveStep later than the pending one's time:
  //   the new one scheduled first, the old one deleted second;
  // - a scheduling that failed is tried at the next frame event, and after
  //   two failures in a row at most once every kRetryInterval; while the
  //   move fails, the old alert is deleted before the service would refuse
  //   to (kUndeletable, a minute to spare, and the longest frame so far
  //   before its time), after one line (tellUnmovedDeleted);
  // - deletes that failed before are tried again; one the service refused
  //   because its alert was about to be posted leaves that alert to come:
  //   "going again" is scheduled kGoingAgainAfter its time (goingAgainAt),
  //   so that it never shows before the alert.
  // The window is the larger of the setting and three times the longest
  // frame of this render so far (frame started to frame rendered), at most
  // kLongestWindow.
  void frameEvent(bool frameStarted, int32_t frame, int32_t setting, PluginClock::time_point now,
                  int64_t unixNow, StallAlertCalls& calls);

  // The render completed or was aborted, before its completion message: the
  // pending alert is deleted (one call; one that fails is tried again by
  // afterCompletion), and the next frame event begins a new render.
  void renderEnding(PluginClock::time_point now, StallAlertCalls& calls);

  // After the completion message of the same event (`now`): the deletes
  // that failed are tried again, and an alert the service would not delete
  // that is still to come is followed, kFalseAlarmAfter its time, by a
  // false alarm telling how the render ended (falseAlarmAt).
  void afterCompletion(PluginClock::time_point now, const RenderEnd& end, StallAlertCalls& calls);

  // The alert was turned off (or the render ended with no completion
  // message to wait for): every alert held is deleted at once.
  void renderEnded(PluginClock::time_point now, StallAlertCalls& calls);

  // The module unloads: every alert still held is deleted, once, each with
  // its own token (the instance may have none left).
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
    int64_t postAt = 0;
  };
  // An alert the service would not delete: it is posted at its time.
  struct AlertToCome {
    PluginClock::time_point due;
    int64_t postAt = 0;
    bool goingAgainScheduled = false;
  };

  PluginClock::duration window(int32_t minutes) const noexcept;
  bool mayTrySchedule(PluginClock::time_point now) const noexcept;
  bool schedule(const StallAlertPlan& plan, PluginClock::time_point now, StallAlertCalls& calls);
  // The pending alert, no longer pending, to be deleted.
  void letGoOfPending();
  // Notes the answer to a delete of `held`; false when it is to be tried again.
  bool noteDeleteAnswer(const HeldAlert& held, AlertDeleteAnswer answer,
                        PluginClock::time_point now);
  // Tries every delete held; true when one of them had been posted already
  // (its time has passed), so the render has gone on after it.
  bool tryDeletes(PluginClock::time_point now, StallAlertCalls& calls);

  // The steps of a frame event, in their order (see frameEvent).
  void noteFrame(bool frameStarted, PluginClock::time_point now) noexcept;
  // Says that the render goes on after an alert the service posted; true
  // when it did.
  bool tellPostedAlerts(int32_t frame, int64_t silentMinutes, PluginClock::time_point now,
                        StallAlertCalls& calls);
  // Schedules the alert anew when it would be due kMoveStep later, or
  // deletes the old one while it still can when that keeps failing.
  void moveOn(int32_t frame, int32_t minutes, PluginClock::time_point now, int64_t unixNow,
              StallAlertCalls& calls);

  std::optional<ScheduledAlert> pending_;
  PluginClock::time_point pendingDue_{};
  int64_t pendingPostAt_ = 0;
  std::vector<HeldAlert> deletes_;
  std::optional<AlertToCome> toCome_;
  int failuresInARow_ = 0;
  std::optional<PluginClock::time_point> lastTry_;
  bool inRender_ = false;
  std::optional<PluginClock::time_point> frameStart_;
  PluginClock::duration longestFrame_{};
  std::optional<PluginClock::time_point> lastEvent_;
};

}  // namespace pingwell
