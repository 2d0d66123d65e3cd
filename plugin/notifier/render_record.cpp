#include "plugin/notifier/render_record.h"

#include "plugin/host_api/host_interface.h"

namespace pingwell {

void RenderRecord::begin(std::optional<RenderClock::time_point> start) noexcept {
  inRender_ = true;
  announced_ = false;
  aborted_ = false;
  renderStart_ = start;
  frameStart_.reset();
  framesRendered_ = 0;
  timedFrames_ = 0;
  frameTimes_ = RenderClock::duration::zero();
}

RenderMoment RenderRecord::note(int32_t eventCode, int32_t frame,
                                std::optional<RenderClock::time_point> now) noexcept {
  RenderMoment moment;
  switch (eventCode) {
    case HOST_EVENT_RENDER_STARTING:
      begin(now);
      moment.began = true;
      announced_ = true;
      break;
    case HOST_EVENT_FRAME_STARTED:
      moment.began = !inRender_ || aborted_;
      if (moment.began) begin(now);
      frameStart_ = now;
      startedFrame_ = frame;
      moment.frame = frame;
      moment.announced = announced_;
      break;
    case HOST_EVENT_FRAME_DONE:
      moment.began = !inRender_ || aborted_;
      if (moment.began) begin(now);
      ++framesRendered_;
      if (now && frameStart_ && startedFrame_ == frame) {
        moment.frameTime = *now - *frameStart_;
        ++timedFrames_;
        frameTimes_ += *moment.frameTime;
      }
      frameStart_.reset();
      moment.frame = frame;
      if (timedFrames_ > 0) moment.meanFrameTime = frameTimes_ / timedFrames_;
      moment.announced = announced_;
      break;
    case HOST_EVENT_RENDER_DONE:
      // A completion with nothing seen since the last one is a render of its
      // own, whose start is not known.
      moment.began = !inRender_;
      if (moment.began) begin(std::nullopt);
      if (now && renderStart_) moment.renderTime = *now - *renderStart_;
      moment.framesRendered = framesRendered_;
      if (aborted_) moment.abortedAtFrame = abortedFrame_;
      inRender_ = false;
      break;
    case HOST_EVENT_RENDER_ABORTED:
      // The completion that follows tells of the abort, also when nothing
      // of the render was seen before; a frame event belongs to the next one.
      moment.began = !inRender_;
      if (moment.began) begin(std::nullopt);
      aborted_ = true;
      abortedFrame_ = frame;
      frameStart_.reset();
      break;
    default:
      break;
  }
  return moment;
}

}  // namespace pingwell
