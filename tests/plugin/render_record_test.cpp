// The render record on the host's event sequences, with the time of each
// event given by the test: what "Add render times" adds to the texts, and
// which render a thread belongs to.
#include "plugin/notifier/render_record.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "plugin/host_api/host_interface.h"
#include "plugin/notifier/message_text.h"
#include "plugin/notifier/render_conversation.h"

namespace pingwell {
namespace {

using std::chrono::hours;
using std::chrono::milliseconds;
using std::chrono::minutes;
using std::chrono::seconds;

constexpr int32_t kStarting = HOST_EVENT_RENDER_STARTING;
constexpr int32_t kFrameStarted = HOST_EVENT_FRAME_STARTED;
constexpr int32_t kFrameDone = HOST_EVENT_FRAME_DONE;
constexpr int32_t kCompleted = HOST_EVENT_RENDER_DONE;
constexpr int32_t kAborted = HOST_EVENT_RENDER_ABORTED;

RenderClock::time_point at(RenderClock::duration sinceStart) {
  return RenderClock::time_point{} + hours(1000) + sinceStart;
}

TEST(RenderTimes, DurationsAreWholeSecondsWrittenShort) {
  struct Case {
    RenderClock::duration elapsed;
    const char* text;
  };
  const Case cases[] = {
      {seconds(0), "0 s"},
      {milliseconds(400), "0 s"},
      {seconds(45), "45 s"},
      {milliseconds(59600), "1 min 00 s"},
      {seconds(65), "1 min 05 s"},
      {seconds(3599), "59 min 59 s"},
      {seconds(3600), "1 h 00 min 00 s"},
      {hours(1) + minutes(2) + seconds(13), "1 h 02 min 13 s"},
      {hours(100) + seconds(1), "100 h 00 min 01 s"},
      {seconds(-5), "0 s"},
  };
  for (const Case& c : cases) EXPECT_EQ(formatDuration(c.elapsed), c.text);

  // Estimates of the time left: whole minutes from one minute on.
  EXPECT_EQ(formatRoughDuration(seconds(45)), "45 s");
  EXPECT_EQ(formatRoughDuration(seconds(89)), "1 min");
  EXPECT_EQ(formatRoughDuration(seconds(90)), "2 min");
  EXPECT_EQ(formatRoughDuration(hours(4) + minutes(18) + seconds(5)), "4 h 18 min");
  EXPECT_EQ(formatRoughDuration(minutes(119) + seconds(40)), "2 h 00 min");
}

// With the scene's range known to be the render's, a frame rendered tells
// its place and the time the frames after it will take at the mean so far.
TEST(RenderTimes, FrameRenderedTellsItsPlaceInTheRangeAndTheTimeLeft) {
  const FrameRange range{1, 250, 1};
  RenderRecord record;
  record.note(kStarting, 1, at(seconds(0)));
  record.note(kFrameStarted, 1, at(seconds(0)));
  RenderMoment moment = record.note(kFrameDone, 1, at(seconds(50)));
  EXPECT_EQ(renderTimesText(kFrameDone, moment, "", range),
            " of 250 (50 s), about 3 h 28 min left");
  EXPECT_EQ(renderTimesText(kFrameDone, moment, "", std::nullopt), " (50 s)");
  EXPECT_EQ(renderTimesText(kFrameDone, moment, "", FrameRange{1, 250, 0}), " (50 s)");
  EXPECT_EQ(renderTimesText(kFrameDone, moment, "", FrameRange{2, 250, 1}), " (50 s)");
  // Every other frame of 1 to 249: 124 after frame 1.
  EXPECT_EQ(renderTimesText(kFrameDone, moment, "", FrameRange{1, 249, 2}),
            " of 249 (50 s), about 1 h 43 min left");
  record.note(kFrameStarted, 2, at(seconds(50)));
  moment = record.note(kFrameDone, 2, at(seconds(130)));  // mean 65 s
  EXPECT_EQ(renderTimesText(kFrameDone, moment, "", range),
            " of 250 (1 min 20 s), about 4 h 29 min left");
  // A frame without its start still has its place and the mean.
  moment = record.note(kFrameDone, 3, at(seconds(200)));
  EXPECT_EQ(renderTimesText(kFrameDone, moment, "", range), " of 250, about 4 h 28 min left");
  moment = record.note(kFrameDone, 250, at(seconds(300)));
  EXPECT_EQ(renderTimesText(kFrameDone, moment, "", range), " of 250");
  // A million frames at a day each: the estimate stays a number.
  RenderRecord slow;
  slow.note(kStarting, 1, at(seconds(0)));
  slow.note(kFrameStarted, 1, at(seconds(0)));
  moment = slow.note(kFrameDone, 1, at(hours(24)));
  EXPECT_EQ(renderTimesText(kFrameDone, moment, "", FrameRange{1, 2000000000, 1})
                .rfind(" of 2000000000 (24 h 00 min 00 s), about ", 0),
            0u);

  // A frame rendered on its own, not in an announced sequence, has no place.
  RenderRecord single;
  single.note(kFrameStarted, 7, at(seconds(0)));
  moment = single.note(kFrameDone, 7, at(seconds(5)));
  EXPECT_EQ(renderTimesText(kFrameDone, moment, "", range), " (5 s)");
}

TEST(RenderRecord, AnAbortedRendersCompletionSaysWhereItWasAborted) {
  RenderRecord record;
  record.note(kStarting, 1, at(seconds(0)));
  record.note(kFrameStarted, 12, at(seconds(1)));
  record.note(kAborted, 12, at(seconds(2)));
  EXPECT_EQ(record.note(kCompleted, 12, at(seconds(3))).abortedAtFrame, 12);
  EXPECT_EQ(record.note(kCompleted, 12, at(seconds(4))).abortedAtFrame, std::nullopt);
  // An abort with nothing of its render seen is still told of.
  record.note(kAborted, 5, at(seconds(5)));
  EXPECT_EQ(record.note(kCompleted, 5, at(seconds(6))).abortedAtFrame, 5);
  record.note(kFrameStarted, 1, at(seconds(7)));
  EXPECT_EQ(record.note(kCompleted, 1, at(seconds(8))).abortedAtFrame, std::nullopt);
}

// Each case is one instance's events in order; each step says what the
// times add to that event's message.
TEST(RenderTimes, TextsFollowTheRendersEvents) {
  struct Step {
    int32_t code;
    int32_t frame;
    RenderClock::duration when;
    std::string added;
  };
  struct Case {
    const char* what;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {"announced render of two frames",
       {{kStarting, 1, seconds(0), ""},
        {kFrameStarted, 1, seconds(10), ""},
        {kFrameDone, 1, seconds(75), " (1 min 05 s)"},
        {kFrameStarted, 2, seconds(75), ""},
        {kFrameDone, 2, seconds(120), " (45 s)"},
        {kCompleted, 2, seconds(122), "\n2 frames in 2 min 02 s, 1 min 01 s a frame"}}},
      {"not announced: the render starts at its first frame event",
       {{kFrameDone, 5, seconds(3), ""}, {kCompleted, 5, seconds(48), "\n1 frame in 45 s"}}},
      {"frame rendered without its start, or with another frame's",
       {{kStarting, 1, seconds(0), ""},
        {kFrameStarted, 1, seconds(1), ""},
        {kFrameDone, 2, seconds(5), ""},
        {kFrameDone, 2, seconds(6), ""},
        {kCompleted, 2, seconds(10), "\n2 frames in 10 s, 5 s a frame"}}},
      {"completed with nothing seen", {{kCompleted, 1, seconds(5), ""}}},
      {"completed without frames",
       {{kStarting, 1, seconds(0), ""}, {kCompleted, 1, seconds(100), "\n0 frames in 1 min 40 s"}}},
      {"the render after a completed one has a clock of its own",
       {{kStarting, 1, seconds(0), ""},
        {kFrameStarted, 1, seconds(1), ""},
        {kCompleted, 1, seconds(100), "\n0 frames in 1 min 40 s"},
        {kFrameStarted, 1, seconds(200), ""},
        {kFrameDone, 1, seconds(230), " (30 s)"},
        {kCompleted, 1, seconds(260), "\n1 frame in 1 min 00 s"}}},
      {"an aborted render ends at its next frame event",
       {{kStarting, 1, seconds(0), ""},
        {kFrameStarted, 1, seconds(1), ""},
        {kAborted, 1, seconds(2), ""},
        {kFrameDone, 1, seconds(50), ""},
        {kCompleted, 1, seconds(70), "\n1 frame in 20 s"}}},
      {"an aborted render's completion tells of it",
       {{kStarting, 1, seconds(0), ""},
        {kFrameDone, 1, seconds(30), ""},
        {kFrameStarted, 2, seconds(30), ""},
        {kAborted, 2, seconds(40), ""},
        {kCompleted, 2, seconds(41), "\n1 frame in 41 s"}}},
      {"other events change nothing",
       {{kStarting, 1, seconds(0), ""},
        {0x10A, 1, seconds(50), ""},
        {kFrameDone, 1, seconds(60), ""},
        {kCompleted, 1, seconds(61), "\n1 frame in 1 min 01 s"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RenderRecord record;
    for (const Step& step : c.steps) {
      SCOPED_TRACE(step.code);
      const RenderMoment moment = record.note(step.code, step.frame, at(step.when));
      EXPECT_EQ(renderTimesText(step.code, moment, ""), step.added);
    }
  }

  RenderRecord record;
  record.note(kStarting, 1, at(seconds(0)));
  for (int32_t frame = 1; frame <= 250; ++frame) record.note(kFrameDone, frame, at(seconds(frame)));
  const RenderMoment done = record.note(kCompleted, 250, at(hours(1) + minutes(2) + seconds(13)));
  EXPECT_EQ(renderTimesText(kCompleted, done, ""), "\n250 frames in 1 h 02 min 13 s, 15 s a frame");
  EXPECT_EQ(renderTimesText(kCompleted, done, "node-07"),
            "\n250 frames in 1 h 02 min 13 s, 15 s a frame\nnode-07");
  EXPECT_EQ(renderTimesText(kCompleted, RenderMoment{}, "node-07"), "\nnode-07");
  EXPECT_EQ(renderTimesText(kFrameStarted, done, "node-07"), "");
}

// The conversation begins anew with every render the record sees begin.
TEST(RenderConversation, EachRenderHasAThreadOfItsOwn) {
  RenderRecord record;
  RenderConversation talk;
  const auto note = [&](int32_t code, RenderClock::duration when) {
    if (record.note(code, 1, at(when)).began) talk = RenderConversation();
  };
  note(kStarting, seconds(0));
  EXPECT_EQ(talk.threadTs(), "");
  talk.takeThread("1700000000.000001");
  talk.takeThread("1700000000.000002");  // the first accepted message stays the thread
  note(kFrameDone, seconds(1));
  note(kCompleted, seconds(2));
  EXPECT_EQ(talk.threadTs(), "1700000000.000001");  // for the completed message itself

  note(kFrameStarted, seconds(10));  // the next render
  EXPECT_EQ(talk.threadTs(), "");
  talk.takeThread("");  // a reply without a ts of the service's shape
  EXPECT_EQ(talk.threadTs(), "");
  talk.takeThread("1700000000.000005");
  note(kStarting, seconds(20));
  EXPECT_EQ(talk.threadTs(), "");
  talk.takeThread("1700000000.000006");
  note(kCompleted, seconds(21));
  note(kCompleted, seconds(22));  // a completion of its own: a new render
  EXPECT_EQ(talk.threadTs(), "");
  note(kFrameStarted, seconds(23));
  talk.takeThread("1700000000.000007");
  note(kAborted, seconds(24));
  EXPECT_EQ(talk.threadTs(), "1700000000.000007");  // for the completion that follows
  note(kFrameStarted, seconds(30));
  EXPECT_EQ(talk.threadTs(), "");
}

}  // namespace
}  // namespace pingwell
