#pragma once
// The chart of a render's frame times that "Add render times" adds to a
// message: the times kept as the render goes, one small record a frame, and
// the message's blocks composed from them (the message's text, then a bar
// chart the service draws itself). Free of I/O.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "plugin/posting/plugin_clock.h"

namespace pingwell {

// One frame rendered: its number and how long it took, frame-started to
// frame-rendered.
struct FrameTime {
  int32_t frame = 0;
  float seconds = 0.0f;
};
using FrameTimes = std::vector<FrameTime>;
// The times a posting job composes its chart from; null: no chart.
using ChartTimes = std::shared_ptr<const FrameTimes>;

// The most bars a chart has: more frames than this share bars.
inline constexpr std::size_t kMostChartBars = 20;

// The frame times of the render in progress, kept on the render's thread.
class FrameTimeLog {
 public:
  // A new render begins: no frames, and the memory of the last one given back.
  void newRender() noexcept { times_ = FrameTimes(); }
  // A frame rendered in `time`. Throws only std::bad_alloc.
  void add(int32_t frame, PluginClock::duration time);
  std::size_t size() const noexcept { return times_.size(); }
  // The times so far for a posting job to compose its chart from, or null
  // while there are fewer than two: a chart of one bar says nothing. Throws
  // only std::bad_alloc.
  ChartTimes forChart() const;

 private:
  FrameTimes times_;
};

// The "blocks" of a message whose text is `text`, as a JSON array's text:
// a section with `text` as mrkdwn, then a bar chart titled "Frame times".
// Up to kMostChartBars frames, a bar a frame (category the frame number,
// one series "frame time"); more, k = ceil(n / kMostChartBars) frames in
// order a bar, the last with what is left (category "first–last", or the
// frame for a bar of one), series "average" and "longest". Seconds with one
// decimal while the longest frame is under two minutes, else minutes.
// Empty with fewer than two frames, or when the blocks would break a rule
// of the service (a text over 3000 characters, a category over 20, two bars
// of one category): the message then goes as it would without the chart.
// Throws only std::bad_alloc.
std::string frameTimeChartBlocks(const std::string& text, const FrameTimes& times);

// frameTimeChartBlocks of `times`; empty without them.
inline std::string frameTimeChartBlocks(const std::string& text, const ChartTimes& times) {
  return times ? frameTimeChartBlocks(text, *times) : std::string();
}

}  // namespace pingwell
