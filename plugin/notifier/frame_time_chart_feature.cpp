#include "plugin/notifier/frame_time_chart_feature.h"

#include "plugin/notifier/notifier_instance.h"

namespace pingwell {

bool FrameTimeChartFeature::charts(const RenderEvent& event) noexcept {
  return event.renderTimes() && event.canPost() &&
         (event.progressOn() || switchIsOn(event.instance().notifyRenderDone));
}

void FrameTimeChartFeature::note(const RenderEvent& event) {
  const RenderMoment& moment = event.moment();
  if (event.frameDone() && moment.frameTime && charts(event))
    times_.add(moment.frame, *moment.frameTime);
}

ChartTimes FrameTimeChartFeature::forProgressEdit(const RenderEvent& event) const {
  if (!charts(event) || !event.progressOn()) return nullptr;
  return times_.forChart();
}

ChartTimes FrameTimeChartFeature::forCompletion(const RenderEvent& event) const {
  if (!charts(event) || event.progressOn() || !event.ended()) return nullptr;
  return times_.forChart();
}

}  // namespace pingwell
