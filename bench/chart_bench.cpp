// What the chart of the frame times costs: its blocks composed on the
// posting thread for a 100,000-frame render (twenty bars of 5,000 frames),
// against the chart of a 20-frame render (a bar a frame); and the hand-over
// of the render's times to the job on the render's thread, a copy of them.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "plugin/notifier/frame_time_chart.h"

namespace {

// A render's times: frames of 40 to 80 s, one of them slow.
pingwell::FrameTimeLog renderOf(int32_t frames) {
  pingwell::FrameTimeLog log;
  for (int32_t frame = 1; frame <= frames; ++frame) {
    const int milliseconds = frame == frames / 2 ? 300000 : 40000 + (frame * 7919) % 40000;
    log.add(frame, std::chrono::milliseconds(milliseconds));
  }
  return log;
}

const std::string kText =
    "shot_010.lws\nRENDER COMPLETED\n100000 frames in 1562 h 30 min 00 s, 56 s a frame";

void BM_ChartComposed(benchmark::State& state) {
  const pingwell::ChartTimes times = renderOf(static_cast<int32_t>(state.range(0))).forChart();
  std::size_t bytes = 0;
  for (auto _ : state) {
    const std::string blocks = pingwell::frameTimeChartBlocks(kText, *times);
    bytes = blocks.size();
    benchmark::DoNotOptimize(blocks.data());
  }
  state.counters["blocks_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_ChartComposed)->Arg(100000)->Arg(20)->Unit(benchmark::kMicrosecond);

void BM_TimesHandedToTheJob(benchmark::State& state) {
  const pingwell::FrameTimeLog log = renderOf(static_cast<int32_t>(state.range(0)));
  for (auto _ : state) {
    pingwell::ChartTimes times = log.forChart();
    benchmark::DoNotOptimize(times.get());
  }
}
BENCHMARK(BM_TimesHandedToTheJob)->Arg(100000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
