#pragma once
// The chart of the frame times, with "Add render times" on: the times of
// the render's frames kept as they are rendered (frame-started to
// frame-rendered; a frame the abort came at is not timed), and handed to
// the message that carries the chart, which composes it on the posting
// thread: each edit of the progress message while that is on (the chart of
// the frames so far, the last edit the whole render's), else the
// render-completed (or aborted) message. One chart a render.
#include "plugin/notifier/frame_time_chart.h"
#include "plugin/notifier/render_event.h"

namespace pingwell {

class FrameTimeChartFeature {
 public:
  // A new render: no frames yet.
  void newRender() noexcept { times_.newRender(); }

  // At every render event, posted or not: a frame rendered and timed is
  // kept while a message will carry the chart. Throws only std::bad_alloc.
  void note(const RenderEvent& event);

  // The times for the chart of the event's progress edit, or of its
  // render-completed message; null when that message carries none.
  // Throws only std::bad_alloc.
  ChartTimes forProgressEdit(const RenderEvent& event) const;
  ChartTimes forCompletion(const RenderEvent& event) const;

 private:
  static bool charts(const RenderEvent& event) noexcept;

  FrameTimeLog times_;
};

}  // namespace pingwell
