#pragma once
// What one instance remembers of the render in progress: when it started,
// when the current frame started, how many frames are done and how long they
// took, and whether the user aborted it. Never saved with the scene and
// never copied.
#include <chrono>
#include <cstdint>
#include <optional>

#include "plugin/host_api/host_interface.h"
#include "plugin/posting/plugin_clock.h"

namespace pingwell {

// Durations are measured on the plug-in's clock: it never jumps with the
// wall clock.
using RenderClock = PluginClock;

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
  // A frame started or rendered: its frame; a frame rendered: the mean of
  // the frame times measured in this render so far (this one's included).
  int32_t frame = 0;
  std::optional<RenderClock::duration> meanFrameTime;
  // The render began with the render-starting event: a sequence, which
  // renders the scene's range (a single frame rendered on its own has none).
  bool announced = false;
  // A render completed after the user aborted it: the frame the abort came at.
  std::optional<int32_t> abortedAtFrame;
  // The event began a new render.
  bool began = false;
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
  //   abort when it was aborted; the render ends;
  // - render aborted: notes `frame`; a render completed next tells of the
  //   abort; a frame event next begins a new render.
  // The moment tells when the event began a new render. Any other code
  // changes nothing. Events noted without `now` give no durations, nor do
  // durations that began at such an event.
  RenderMoment note(int32_t eventCode, int32_t frame,
                    std::optional<RenderClock::time_point> now) noexcept;

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
};

}  // namespace pingwell
