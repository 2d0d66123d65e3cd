// The stall alert's rules on the plug-in's clock, with the time of each
// event given by the test and the service's calls recorded: the window, the
// five-minute step, schedule before delete, the retries and a render that
// goes on after its alert was posted. Also the forms of "Notify".
#include "plugin/notifier/stall_alert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "plugin/notifier/mentions.h"
#include "plugin/notifier/message_text.h"
#include "plugin/posting/scene_name.h"

namespace pingwell {
namespace {

using std::chrono::minutes;
using std::chrono::seconds;

PluginClock::time_point at(PluginClock::duration sinceStart) {
  return PluginClock::time_point{} + std::chrono::hours(1000) + sinceStart;
}
constexpr int64_t kUnixStart = 1'800'000'000;
int64_t unixAt(PluginClock::duration sinceStart) {
  return kUnixStart + std::chrono::duration_cast<seconds>(sinceStart).count();
}

// Records every call; answers as told. Alerts are made with `token` in
// `channelId`; what is posted at once and what is scheduled after an alert
// are kept apart.
class RecordedCalls : public StallAlertCalls {
 public:
  std::vector<std::string> log;
  std::vector<StallAlertPlan> plans;
  std::vector<std::string> postedNow;
  std::vector<std::pair<std::string, int64_t>> scheduledAfter;  // what, post_at
  std::vector<std::string> deletedWith;                         // "Q1 token channel"
  bool scheduleFails = false;
  AlertDeleteAnswer deleteAnswer = AlertDeleteAnswer::Deleted;
  std::string token = "xoxb-first";
  std::string channelId = "C1";

  std::optional<ScheduledAlert> schedule(const StallAlertPlan& plan) override {
    plans.push_back(plan);
    if (scheduleFails) {
      log.push_back("schedule failed");
      return std::nullopt;
    }
    const std::string id = "Q" + std::to_string(++made_);
    log.push_back("schedule " + id + " frame " + std::to_string(plan.frame) + " in " +
                  std::to_string(plan.postAt - plan.eventUnixTime) + " s");
    return ScheduledAlert{channelId, id, token};
  }
  AlertDeleteAnswer remove(const ScheduledAlert& alert) override {
    log.push_back("delete " + alert.id + (deleteAnswer == AlertDeleteAnswer::Failed ? " failed"
                                          : deleteAnswer == AlertDeleteAnswer::Gone ? " gone"
                                                                                    : ""));
    deletedWith.push_back(alert.id + " " + alert.token + " " + alert.channelId);
    return deleteAnswer;
  }
  void goingAgain(int32_t frame, int64_t silentMinutes) override {
    log.push_back(goingAgainLine(frame, silentMinutes));
    postedNow.push_back(log.back());
  }
  bool goingAgainAt(int32_t frame, int64_t silentMinutes, int64_t postAt) override {
    log.push_back(goingAgainLine(frame, silentMinutes));
    scheduledAfter.emplace_back(log.back(), postAt);
    return true;
  }
  bool falseAlarmAt(const RenderEnd& end, int64_t postAt) override {
    log.push_back(end.abortedAtFrame ? "false alarm: aborted at frame " +
                                           std::to_string(*end.abortedAtFrame)
                                     : std::string("false alarm: completed"));
    scheduledAfter.emplace_back(log.back(), postAt);
    return true;
  }
  void tellUnmovedDeleted() override { log.push_back("line: unmoved alert deleted"); }

 private:
  static std::string goingAgainLine(int32_t frame, int64_t silentMinutes) {
    return "going again at frame " + std::to_string(frame) + " after " +
           std::to_string(silentMinutes) + " min";
  }
  int made_ = 0;
};

using Log = std::vector<std::string>;

// One frame: started at `start`, rendered `length` later.
void frame(StallAlert& alert, RecordedCalls& calls, int32_t n, PluginClock::duration start,
           PluginClock::duration length, int32_t setting = 10) {
  alert.frameEvent(true, n, setting, at(start), unixAt(start), calls);
  alert.frameEvent(false, n, setting, at(start + length), unixAt(start + length), calls);
}

TEST(StallAlert, WindowAndFiveMinuteStepScheduleBeforeDelete) {
  EXPECT_EQ(StallAlert::usedMinutes(0), 0);
  EXPECT_EQ(StallAlert::usedMinutes(-3), 0);
  EXPECT_EQ(StallAlert::usedMinutes(1), 10);
  EXPECT_EQ(StallAlert::usedMinutes(9), 10);
  EXPECT_EQ(StallAlert::usedMinutes(45), 45);
  EXPECT_EQ(StallAlert::usedMinutes(20000), 10080);

  // A 1 s animation of 1,000 frames: one alert at the first frame start,
  // moved (two calls) once every five minutes, deleted at the end.
  {
    StallAlert alert;
    RecordedCalls calls;
    for (int32_t n = 1; n <= 1000; ++n) frame(alert, calls, n, seconds(n - 1), seconds(1));
    ASSERT_GE(calls.log.size(), 1u);
    EXPECT_EQ(calls.log[0], "schedule Q1 frame 1 in 600 s");
    EXPECT_EQ(calls.log[1], "schedule Q2 frame 300 in 600 s");  // rendered 5 min later
    EXPECT_EQ(calls.log[2], "delete Q1");                       // after the new one
    alert.renderEnded(at(seconds(1000)), calls);
    EXPECT_EQ(calls.log.back(), "delete Q4");
    EXPECT_EQ(calls.log.size(), 1u + 2u * 3u + 1u);  // 8 calls for 1,000 frames
    EXPECT_FALSE(alert.pending());
    EXPECT_EQ(alert.deletesLeft(), 0u);
  }
  // Off: nothing at all.
  {
    StallAlert alert;
    RecordedCalls calls;
    frame(alert, calls, 1, seconds(0), seconds(1), 0);
    alert.renderEnded(at(seconds(2)), calls);
    EXPECT_TRUE(calls.log.empty());
  }
  // Long frames: the window grows to three times the longest frame so far,
  // and the alert moves as soon as that puts it 5 min later.
  {
    StallAlert alert;
    RecordedCalls calls;
    frame(alert, calls, 1, seconds(0), minutes(4));  // rendered at 4 min: due 4 + 12
    EXPECT_EQ(calls.log, (Log{"schedule Q1 frame 1 in 600 s", "schedule Q2 frame 1 in 720 s",
                              "delete Q1"}));
    EXPECT_EQ(alert.pendingDue(), at(minutes(16)));
    EXPECT_EQ(calls.plans.back().windowMinutes, 12);
    EXPECT_EQ(calls.plans.back().eventUnixTime, unixAt(minutes(4)));
    // Frame 2 starts at once: due at 4 + 12 = 16, not moved; rendered at
    // 4:30, due at 16:30, not moved; frame 3 at 9 min, due at 21: moved.
    alert.frameEvent(true, 2, 10, at(minutes(4)), unixAt(minutes(4)), calls);
    alert.frameEvent(false, 2, 10, at(minutes(4) + seconds(30)), unixAt(minutes(4)), calls);
    EXPECT_EQ(calls.log.size(), 3u);
    alert.frameEvent(true, 3, 10, at(minutes(9)), unixAt(minutes(9)), calls);
    EXPECT_EQ(calls.log.size(), 5u);
    EXPECT_EQ(alert.pendingDue(), at(minutes(21)));
    // A longer frame widens the window once more: 3 x 6 min.
    alert.frameEvent(false, 3, 10, at(minutes(15)), unixAt(minutes(15)), calls);
    EXPECT_EQ(alert.pendingDue(), at(minutes(33)));
    EXPECT_EQ(calls.plans.back().windowMinutes, 18);
  }
}

TEST(StallAlert, FailuresAndARenderThatGoesOnAfterItsAlert) {
  // A scheduling that fails is tried at the next frame event; the old alert
  // is kept meanwhile.
  {
    StallAlert alert;
    RecordedCalls calls;
    calls.scheduleFails = true;
    alert.frameEvent(true, 1, 10, at(seconds(0)), unixAt(seconds(0)), calls);
    EXPECT_FALSE(alert.pending());
    calls.scheduleFails = false;
    alert.frameEvent(false, 1, 10, at(seconds(1)), unixAt(seconds(1)), calls);
    EXPECT_EQ(calls.log, (Log{"schedule failed", "schedule Q1 frame 1 in 600 s"}));
    // A delete that fails stays until it goes through.
    calls.deleteAnswer = AlertDeleteAnswer::Failed;
    alert.frameEvent(true, 2, 10, at(minutes(6)), unixAt(minutes(6)), calls);
    EXPECT_EQ(alert.deletesLeft(), 1u);
    alert.frameEvent(false, 2, 10, at(minutes(6) + seconds(1)), unixAt(minutes(6)), calls);
    EXPECT_EQ(alert.deletesLeft(), 1u);
    calls.deleteAnswer = AlertDeleteAnswer::Deleted;
    alert.renderEnded(at(minutes(7)), calls);
    EXPECT_EQ(calls.log, (Log{"schedule failed", "schedule Q1 frame 1 in 600 s",
                              "schedule Q2 frame 2 in 600 s", "delete Q1 failed",
                              "delete Q1 failed", "delete Q1", "delete Q2"}));
    EXPECT_EQ(alert.deletesLeft(), 0u);
  }
  // A frame after the alert's time: the service posted it. One message that
  // the render goes on, and a new alert; the posted one is not deleted.
  {
    StallAlert alert;
    RecordedCalls calls;
    alert.frameEvent(true, 1, 10, at(seconds(0)), unixAt(seconds(0)), calls);
    alert.frameEvent(false, 1, 10, at(minutes(25)), unixAt(minutes(25)), calls);
    EXPECT_EQ(calls.log, (Log{"schedule Q1 frame 1 in 600 s", "going again at frame 1 after 25 min",
                              "schedule Q2 frame 1 in 4500 s"}));
  }
  // A delete refused because its alert was due within a minute: it will be
  // posted, so the render is said to go on; a refusal of one due later is not.
  {
    StallAlert alert;
    RecordedCalls calls;
    alert.frameEvent(true, 1, 10, at(seconds(0)), unixAt(seconds(0)), calls);
    calls.deleteAnswer = AlertDeleteAnswer::Gone;
    alert.frameEvent(false, 1, 10, at(minutes(9) + seconds(30)), unixAt(minutes(9)), calls);
    EXPECT_EQ(calls.log.back(), "going again at frame 1 after 9 min");
    const size_t before = calls.log.size();
    alert.frameEvent(true, 2, 10, at(minutes(60)), unixAt(minutes(60)), calls);
    EXPECT_EQ(calls.log.size(), before + 2);  // going again, schedule: nothing to delete
    calls.log.clear();
    alert.frameEvent(true, 3, 10, at(minutes(70)), unixAt(minutes(70)), calls);
    EXPECT_EQ(calls.log.size(), 2u);  // schedule, delete gone: due 20 min later, no message
  }
  // The module unloads during a render: the alert is deleted.
  {
    StallAlert alert;
    RecordedCalls calls;
    alert.frameEvent(true, 1, 10, at(seconds(0)), unixAt(seconds(0)), calls);
    alert.unload(at(seconds(5)), calls);
    EXPECT_EQ(calls.log.back(), "delete Q1");
    EXPECT_FALSE(alert.pending());
  }
}

// An alert the service would not delete (due within its minute) shows at its
// time: what says the render went on, or that it ended, is scheduled after
// it, in that order, and nothing contradicts it before it shows.
TEST(StallAlert, AnAlertTheServiceWouldNotDeleteIsFollowedNeverPreceded) {
  using Later = std::vector<std::pair<std::string, int64_t>>;
  const int64_t alertPostAt = unixAt(minutes(10));
  const std::string goingAgain = "going again at frame 1 after 9 min";
  struct Case {
    const char* name;
    bool goesOn;  // frame 2 renders past the alert's time, then the render completes
    std::optional<int32_t> abortedAt;
    Log log;
    Later later;
  };
  const Log first{"schedule Q1 frame 1 in 600 s", "schedule Q2 frame 1 in 1680 s",
                  "delete Q1 gone", goingAgain};
  const auto with = [&](Log tail) {
    Log log = first;
    log.insert(log.end(), tail.begin(), tail.end());
    return log;
  };
  const std::vector<Case> cases = {
      {"completes", false, std::nullopt, with({"delete Q2", "false alarm: completed"}),
       {{goingAgain, alertPostAt + 5}, {"false alarm: completed", alertPostAt + 10}}},
      {"is aborted", false, 1, with({"delete Q2", "false alarm: aborted at frame 1"}),
       {{goingAgain, alertPostAt + 5}, {"false alarm: aborted at frame 1", alertPostAt + 10}}},
      {"goes on past the alert", true, std::nullopt,
       with({"schedule Q3 frame 2 in 1680 s", "delete Q2", "delete Q3"}),
       {{goingAgain, alertPostAt + 5}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StallAlert alert;
    RecordedCalls calls;
    // A 10-minute alert and a first frame of 9 min 20 s: the alert is moved
    // 40 s before its time, and the service keeps the old one.
    alert.frameEvent(true, 1, 10, at(seconds(0)), unixAt(seconds(0)), calls);
    calls.deleteAnswer = AlertDeleteAnswer::Gone;
    const PluginClock::duration rendered = minutes(9) + seconds(20);
    alert.frameEvent(false, 1, 10, at(rendered), unixAt(rendered), calls);
    calls.deleteAnswer = AlertDeleteAnswer::Deleted;
    PluginClock::duration end = rendered;
    if (c.goesOn) {
      alert.frameEvent(true, 2, 10, at(rendered), unixAt(rendered), calls);
      end = minutes(15);
      alert.frameEvent(false, 2, 10, at(end), unixAt(end), calls);
    }
    alert.renderEnding(at(end), calls);
    // (the completion message goes here)
    alert.afterCompletion(at(end), RenderEnd{unixAt(end), c.abortedAt}, calls);
    EXPECT_EQ(calls.log, c.log);
    EXPECT_EQ(calls.scheduledAfter, c.later);
    EXPECT_TRUE(calls.postedNow.empty());
    EXPECT_FALSE(alert.holdsAlerts());
  }
  // The texts: the scene escaped as in the alert, the time as the alert's.
  EXPECT_EQ(falseAlarmText("Tom&Jerry <final>.lws", std::nullopt, unixAt(minutes(9))),
            "Tom&amp;Jerry &lt;final&gt;.lws\nFalse alarm: the render completed"
            " (<!date^1800000540^{time}|08:09 UTC>)");
  EXPECT_EQ(falseAlarmText(nullptr, 12, 1800000000),
            std::string(kUnsavedSceneName) +
                "\nFalse alarm: the render was aborted at frame 12 (<!date^1800000000^{time}|08:00 UTC>)");
}

// The artist pastes another token and channel, or clears them, while an
// alert is held: it is deleted with the token and channel ID that made it.
TEST(StallAlert, AnAlertIsDeletedWithTheTokenAndChannelThatScheduledIt) {
  struct Case {
    const char* name;
    std::function<void(StallAlert&, RecordedCalls&)> after;  // after the change
    std::vector<std::string> deletedWith;
  };
  const std::vector<Case> cases = {
      {"moved on, then the render completes",
       [](StallAlert& alert, RecordedCalls& calls) {
         alert.frameEvent(true, 2, 10, at(minutes(6)), unixAt(minutes(6)), calls);
         alert.renderEnding(at(minutes(7)), calls);
         alert.afterCompletion(at(minutes(7)), RenderEnd{unixAt(minutes(7)), {}}, calls);
       },
       {"Q1 xoxb-first C1", "Q2 xoxb-second C2"}},
      {"a delete that failed, tried after the completion",
       [](StallAlert& alert, RecordedCalls& calls) {
         calls.deleteAnswer = AlertDeleteAnswer::Failed;
         alert.renderEnding(at(minutes(1)), calls);
         EXPECT_EQ(alert.deletesLeft(), 1u);
         calls.deleteAnswer = AlertDeleteAnswer::Deleted;
         alert.afterCompletion(at(minutes(1)), RenderEnd{unixAt(minutes(1)), {}}, calls);
       },
       {"Q1 xoxb-first C1", "Q1 xoxb-first C1"}},
      {"the module unloads with no token left",
       [](StallAlert& alert, RecordedCalls& calls) {
         calls.token.clear();
         calls.channelId.clear();
         alert.unload(at(minutes(1)), calls);
       },
       {"Q1 xoxb-first C1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StallAlert alert;
    RecordedCalls calls;
    alert.frameEvent(true, 1, 10, at(seconds(0)), unixAt(seconds(0)), calls);
    calls.token = "xoxb-second";
    calls.channelId = "C2";
    c.after(alert, calls);
    EXPECT_EQ(calls.deletedWith, c.deletedWith);
    EXPECT_FALSE(alert.holdsAlerts());
  }
}

// The service refuses every new alert (too many scheduled in the channel):
// the old one is deleted, after one line, while the service still deletes
// it, so that it never goes off during a render that goes well; scheduling
// is tried again, after a second failure at most once a minute.
TEST(StallAlert, AnAlertThatCannotBeMovedIsDeletedInTimeAndTriedOnceAMinute) {
  StallAlert alert;
  RecordedCalls calls;
  std::optional<int64_t> deletedAt;
  for (int32_t n = 1; n <= 720; ++n) {
    calls.scheduleFails = n > 1 && n <= 650;
    frame(alert, calls, n, seconds(n - 1), seconds(1));
    if (!deletedAt && !calls.deletedWith.empty()) deletedAt = n;
  }
  std::vector<int64_t> tries;
  for (const StallAlertPlan& plan : calls.plans) tries.push_back(plan.eventUnixTime - kUnixStart);
  EXPECT_EQ(tries, (std::vector<int64_t>{0, 300, 300, 360, 420, 480, 540, 600, 660}));
  const auto line = std::find(calls.log.begin(), calls.log.end(), "line: unmoved alert deleted");
  ASSERT_NE(line, calls.log.end());
  ASSERT_NE(line + 1, calls.log.end());
  EXPECT_EQ(*(line + 1), "delete Q1");
  EXPECT_EQ(std::count(calls.log.begin(), calls.log.end(), *line), 1);
  ASSERT_TRUE(deletedAt);
  EXPECT_GT(600 - *deletedAt, 60);  // seconds before its time
  EXPECT_TRUE(calls.postedNow.empty());
  ASSERT_TRUE(alert.pending());
  EXPECT_EQ(alert.pending()->id, "Q2");
}

TEST(Mentions, EveryFormOfNotify) {
  std::vector<std::string> asked;
  const EmailLookupFunction lookup = [&](const std::string& address) {
    asked.push_back(address);
    if (address == "anna@studio.com") return EmailLookup{"U0ANNA0001", ""};
    return EmailLookup{"", "users_not_found"};
  };
  const std::vector<Mention> mentions = readMentions(
      " U0ANNA0001,W0BOB00002  S0WRANGL01,@here @channel <@U0CARL0003> <!subteam^S0X0000001>"
      " anna@studio.com,bob@studio.com Tom&Jerry <b> USA ,,",
      lookup);
  EXPECT_EQ(mentionsLine(mentions),
            "<@U0ANNA0001> <@W0BOB00002> <!subteam^S0WRANGL01> <!here> <!channel> <@U0CARL0003>"
            " <!subteam^S0X0000001> <@U0ANNA0001> bob@studio.com Tom&amp;Jerry &lt;b&gt; USA");
  EXPECT_EQ(asked, (std::vector<std::string>{"anna@studio.com", "bob@studio.com"}));
  EXPECT_EQ(notifySummary(readMentions("U0ANNA0001 @here", lookup)),
            "Notify: <@U0ANNA0001>, <!here>");
  EXPECT_EQ(notifySummary(readMentions("bob@studio.com", lookup)),
            "Notify: bob@studio.com not found (users_not_found)");
  EXPECT_TRUE(readMentions(" , ", lookup).empty());
  EXPECT_EQ(mentionsLine(readMentions("", lookup)), "");
}

}  // namespace
}  // namespace pingwell
