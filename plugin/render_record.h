#pragma once
// What one instance remembers of the render in progress: when it started,
// when the current frame started, how many frames are done and how long they
// took, whether the user aborted it, and the thread its messages go to.
// Never saved with the scene and never copied.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "plugin/host_interface.h"

namespace pingwell {

// Durations are measured on this clock: it never jumps with the wall clock.
using RenderClock = std::chrono::steady_clock;

// A duration as the messages write it, rounded to the nearest second and
// the same in every locale: "0 s", "45 s", "1 min 05 s", "1 h 02 min 13 s".
// A negative duration is "0 s".
std::string formatDuration(RenderClock::duration elapsed);

// A duration still to come, as an estimate: whole seconds under a minute,
// else to the nearest minute: "45 s", "3 min", "4 h 18 min", "2 h 00 min".
std::string formatRoughDuration(RenderClock::duration estimate);

// The scene's render range: first and last frame and the step between two.
struct FrameRange {
  int32_t first = 0;
  int32_t last = 0;
  int32_t step = 0;
};

// What the record says about the event just noted.
struct RenderMoment {
  // A frame rendered whose frame-started event was seen: the time between.
  std::optional<RenderClock::duration> frameTime;
  // A render completed whose start was seen (the render-starting event, or
  // else its first frame event): the time since, and the frames rendered.
  std::optional<RenderClock::duration> renderTime;
  int64_t framesRendered = 0;
  // A frame rendered: its frame, and the mean of the frame times measured
  // in this render so far (this one's included).
  int32_t frame = 0;
  std::optional<RenderClock::duration> meanFrameTime;
  // The render began with the render-starting event: a sequence, which
  // renders the scene's range (a single frame rendered on its own has none).
  bool announced = false;
  // A render completed after the user aborted it: the frame the abort came at.
  std::optional<int32_t> abortedAtFrame;
};

// The events of a render the record notes: render starting, frame started,
// frame rendered, render completed and render aborted.
constexpr bool isRenderEvent(int32_t eventCode) noexcept {
  return eventCode == HOST_EVENT_RENDER_STARTING || eventCode == HOST_EVENT_FRAME_STARTED ||
         eventCode == HOST_EVENT_FRAME_DONE || eventCode == HOST_EVENT_RENDER_DONE ||
         eventCode == HOST_EVENT_RENDER_ABORTED;
}

class RenderRecord {
 public:
  // Notes the host's event `eventCode` for `frame` (the time info's current
  // frame) at `now`:
  // - render starting: a new render begins at `now`;
  // - frame started, frame rendered: when no render is in progress (none
  //   seen yet, or the last one completed or was aborted), a new one begins
  //   at `now`; a frame rendered counts, and has its time when its
  //   frame-started event was seen;
  // - render completed: the render's time and frames, and the frame of the
  //   abort when it was aborted; the render ends, its thread stays until the
  //   next one begins;
  // - render aborted: notes `frame`; a render completed next tells of the
  //   abort; a frame event next begins a new render.
  // A new render has no thread yet. Any other code changes nothing. Events
  // noted without `now` give no durations, nor do durations that began at
  // such an event.
  RenderMoment note(int32_t eventCode, int32_t frame,
                    std::optional<RenderClock::time_point> now) noexcept;

  // The render's thread: the `ts` of its first message the service accepted,
  // or empty while there is none.
  const std::string& threadTs() const noexcept { return threadTs_; }
  // Takes `ts` as the thread when the render has none yet and `ts` looks like
  // a message's time stamp (digits and dots, at most 32 bytes); anything
  // else is ignored. Throws only std::bad_alloc.
  void takeThread(const std::string& ts);

 private:
  void begin(std::optional<RenderClock::time_point> start) noexcept;

  bool inRender_ = false;
  bool announced_ = false;
  bool aborted_ = false;
  int32_t abortedFrame_ = 0;
  std::optional<RenderClock::time_point> renderStart_;
  std::optional<RenderClock::time_point> frameStart_;
  int32_t startedFrame_ = 0;
  int64_t framesRendered_ = 0;
  int64_t timedFrames_ = 0;
  RenderClock::duration frameTimes_{};
  std::string threadTs_;
};

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

// This machine's host name; empty when the system does not tell it.
// Throws only std::bad_alloc.
std::string machineName();

}  // namespace pingwell
