#pragma once
// The texts the notifier posts: the render messages, what render times add
// to them, and the progress message. None depends on the locale. The scene
// file name and the machine name go in with the service's markup characters
// escaped (appendAsText: "&amp;", "&lt;", "&gt;"), so the channel shows them
// as they are; a text without those characters is the same byte for byte.
#include <cstdint>
#include <optional>
#include <string>

#include "plugin/posting/plugin_clock.h"
#include "plugin/posting/scene_name.h"
#include "plugin/notifier/render_record.h"

namespace pingwell {

// The message for `eventCode` (one of HOST_EVENT_FRAME_STARTED,
// HOST_EVENT_FRAME_DONE, HOST_EVENT_RENDER_DONE):
//   "<scene>\nFrame Started: <frame>", "<scene>\nFrame Rendered: <frame>",
//   "<scene>\nRENDER COMPLETED".
// The scene file name is kept whole, whatever its length; a null or empty
// name gives kUnsavedSceneName. Empty for any other code. Throws only
// std::bad_alloc.
std::string composeMessage(int32_t eventCode, const char* sceneFileName, int32_t frame);

// The message that takes the render-completed message's place when the user
// aborted the render: "<scene>\nRENDER ABORTED at frame <frame>", `frame`
// being the frame the abort came at. Throws only std::bad_alloc.
std::string composeAbortedMessage(const char* sceneFileName, int32_t frame);

// A duration as the messages write it, rounded to the nearest second and
// the same in every locale: "0 s", "45 s", "1 min 05 s", "1 h 02 min 13 s".
// A negative duration is "0 s".
std::string formatDuration(RenderClock::duration elapsed);

// A duration still to come, as an estimate: whole seconds under a minute,
// else to the nearest minute: "45 s", "3 min", "4 h 18 min", "2 h 00 min".
std::string formatRoughDuration(RenderClock::duration estimate);

// What "Add render times" adds to the text of `eventCode`'s message:
// - frame rendered: " of 250" when `range` is known to be the render's (the
//   render was announced, the step is at least 1 and the frame lies in the
//   range); then " (1 min 05 s)" with a frame time; then, in that range with
//   frames still to come and a mean frame time, ", about 4 h 18 min left"
//   (the mean times the frames after this one);
// - render completed with a render time: a line such as
//   "250 frames in 1 h 02 min 13 s, 15 s a frame" ("1 frame in 45 s",
//   "0 frames in 3 s"); then `machine` on a line of its own when it is not
//   empty.
// Empty when there is nothing to add. Throws only std::bad_alloc.
std::string renderTimesText(int32_t eventCode, const RenderMoment& moment,
                            const std::string& machine,
                            const std::optional<FrameRange>& range = std::nullopt);

// The progress message of a render (the "Progress in one message" switch):
// - when its first frame starts: "<scene>\nRendering frame F of M", or
//   "<scene>\nRendering frame F" when `range` is not known to be the
//   render's;
// - after a frame is rendered: "<scene>\nFrame 12 of 250 rendered (5 %),
//   about 4 h 18 min left" (the share of the range's frames up to this one;
//   the time left as renderTimesText computes it), or "<scene>\nFrame 12
//   rendered";
// - when the render completes: "<scene>\nRENDER COMPLETED: 250 frames in
//   5 h 02 min 13 s", after an abort "<scene>\nRENDER ABORTED at frame 12:
//   11 frames in 2 min 10 s"; without the render's time, the first part
//   alone. Throws only std::bad_alloc.
std::string progressStartText(const char* sceneFileName, const RenderMoment& moment,
                              const std::optional<FrameRange>& range);
std::string progressFrameText(const char* sceneFileName, const RenderMoment& moment,
                              const std::optional<FrameRange>& range);
std::string progressEndText(const char* sceneFileName, const RenderMoment& moment);

// The stall alert, scheduled at the event of `moment` (its frame F), at
// `eventUnixTime` (T, Unix seconds), for a window of `windowMinutes` (W):
//   "<scene>\nRENDER STALLED? No word for about W min, last seen at frame F
//   of M (<!date^T^{time}|HH:MM UTC>)"
// the service showing T in each reader's own time, the text after "|" its
// fallback; " of M" as progressStartText gives it; then `machine` on a line
// of its own when it is not empty. Throws only std::bad_alloc.
std::string stallAlertText(const char* sceneFileName, const RenderMoment& moment,
                           const std::optional<FrameRange>& range, int64_t windowMinutes,
                           int64_t eventUnixTime, const std::string& machine);

// After the service posted a stall alert, the render went on:
// "<scene>\nRender going again: frame F rendered after W min".
std::string goingAgainText(const char* sceneFileName, int32_t frame, int64_t silentMinutes);

// What follows a stall alert that the service would not delete, when the
// render ended before it showed:
//   "<scene>\nFalse alarm: the render completed (<!date^T^{time}|HH:MM UTC>)"
//   "<scene>\nFalse alarm: the render was aborted at frame F (<!date^...>)"
// T being `endUnixTime`, written as in stallAlertText. Throws only
// std::bad_alloc.
std::string falseAlarmText(const char* sceneFileName, const std::optional<int32_t>& abortedAtFrame,
                           int64_t endUnixTime);

// `text` with `mentions` on a line of its own at its end; `text` alone when
// `mentions` is empty.
std::string withMentions(std::string text, const std::string& mentions);

}  // namespace pingwell
