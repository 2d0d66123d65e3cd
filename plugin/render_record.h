#pragma once
// What one instance remembers of the render in progress: when it started,
// when the current frame started, how many frames are done, and the thread
// its messages go to. Used only while "Add render times" or "Frame messages
// in a thread" is on; never saved with the scene and never copied.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace pingwell {

// Durations are measured on this clock: it never jumps with the wall clock.
using RenderClock = std::chrono::steady_clock;

// A duration as the messages write it, rounded to the nearest second and
// the same in every locale: "0 s", "45 s", "1 min 05 s", "1 h 02 min 13 s".
// A negative duration is "0 s".
std::string formatDuration(RenderClock::duration elapsed);

// What the record says about the event just noted.
struct RenderMoment {
  // A frame rendered whose frame-started event was seen: the time between.
  std::optional<RenderClock::duration> frameTime;
  // A render completed whose start was seen (the render-starting event, or
  // else its first frame event): the time since, and the frames rendered.
  std::optional<RenderClock::duration> renderTime;
  int64_t framesRendered = 0;
};

class RenderRecord {
 public:
  // Notes the host's event `eventCode` for `frame` (the time info's current
  // frame) at `now`:
  // - render starting: a new render begins at `now`;
  // - frame started, frame rendered: when no render is in progress (none
  //   seen yet, or the last one completed or was aborted), a new one begins
  //   at `now`; a frame rendered counts, and has its time when its
  //   frame-started event was seen;
  // - render completed: the render's time and frames; the render ends, its
  //   thread stays until the next one begins;
  // - render aborted: a render completed next still tells of it; a frame
  //   event next begins a new render.
  // A new render has no thread yet. Any other code changes nothing.
  RenderMoment note(int32_t eventCode, int32_t frame, RenderClock::time_point now) noexcept;

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
  bool aborted_ = false;
  std::optional<RenderClock::time_point> renderStart_;
  std::optional<RenderClock::time_point> frameStart_;
  int32_t startedFrame_ = 0;
  int64_t framesRendered_ = 0;
  std::string threadTs_;
};

// What "Add render times" adds to the text of `eventCode`'s message:
// - frame rendered with a frame time: " (1 min 05 s)";
// - render completed with a render time: a line such as
//   "250 frames in 1 h 02 min 13 s, 15 s a frame" ("1 frame in 45 s",
//   "0 frames in 3 s"); then `machine` on a line of its own when it is not
//   empty.
// Empty when there is nothing to add. Throws only std::bad_alloc.
std::string renderTimesText(int32_t eventCode, const RenderMoment& moment,
                            const std::string& machine);

// This machine's host name; empty when the system does not tell it.
// Throws only std::bad_alloc.
std::string machineName();

}  // namespace pingwell
