// The stall alert's rules on the plug-in's clock, with the time of each
// event given by the test and the service's calls recorded: the window, the
// five-minute step, schedule before delete, the retries and a render that
// goes on after its alert was posted. Also the forms of "Notify".
#include "plugin/notifier/stall_alert.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "plugin/notifier/mentions.h"

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

// Records every call; answers as told.
class RecordedCalls : public StallAlertCalls {
 public:
  std::vector<std::string> log;
  std::vector<StallAlertPlan> plans;
  bool scheduleFails = false;
  AlertDeleteAnswer deleteAnswer = AlertDeleteAnswer::Deleted;

  std::optional<ScheduledAlert> schedule(const StallAlertPlan& plan) override {
    plans.push_back(plan);
    if (scheduleFails) {
      log.push_back("schedule failed");
      return std::nullopt;
    }
    const std::string id = "Q" + std::to_string(++made_);
    log.push_back("schedule " + id + " frame " + std::to_string(plan.frame) + " in " +
                  std::to_string(plan.postAt - plan.eventUnixTime) + " s");
    return ScheduledAlert{"C1", id};
  }
  AlertDeleteAnswer remove(const ScheduledAlert& alert) override {
    log.push_back("delete " + alert.id + (deleteAnswer == AlertDeleteAnswer::Failed ? " failed"
                                          : deleteAnswer == AlertDeleteAnswer::Gone ? " gone"
                                                                                    : ""));
    return deleteAnswer;
  }
  void goingAgain(int32_t frame, int64_t silentMinutes) override {
    log.push_back("going again at frame " + std::to_string(frame) + " after " +
                  std::to_string(silentMinutes) + " min");
  }

 private:
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
