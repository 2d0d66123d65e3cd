// What a frame's preview costs the render thread: the preview collected from
// the frame's lines and encoded as a JPEG, for a 1920 x 1080 frame (kept at
// its size) and a 3840 x 2160 one (halved), against the pass-through the
// filter has to do anyway, one setRGB and one setAlpha call per pixel into
// the host's output buffer. The filter's whole process, both together, too.
// The preview and the process again with the host's output color space set
// to sRGB (the host stand-in's services), converted as the saved file is.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "filter_host.h"
#include "host/standin_services.h"
#include "plugin/previews/frame_previews.h"
#include "plugin/previews/image_filter.h"
#include "plugin/previews/output_color_space.h"
#include "plugin/previews/preview_image.h"

namespace {

using bench::Host;
using bench::RenderedFrame;

const RenderedFrame& frameOf(const benchmark::State& state) {
  static RenderedFrame hd(1920, 1080);
  static RenderedFrame uhd(3840, 2160);
  return state.range(0) == 1920 ? hd : uhd;
}

void setLabel(benchmark::State& state, const RenderedFrame& frame) {
  state.counters["pixels"] = static_cast<double>(frame.width) * frame.height;
}

// The host's output color space set to sRGB.
void useSrgbOutput() {
  pingwell_host::StandInServices::get().setOutputColorSpace(HOST_COLOR_SPACE_SRGB);
}
void* const kLookup = reinterpret_cast<void*>(&pingwell_host::StandInServices::lookup);

// Preview collected from every line, then encoded; with sRGB output, the
// conversion asked for as the filter does at each frame.
void previewCaptureAndEncode(benchmark::State& state, bool srgb) {
  const RenderedFrame& frame = frameOf(state);
  if (srgb) useSrgbOutput();
  size_t jpegBytes = 0;
  for (auto _ : state) {
    const std::optional<pingwell::PreviewConversion> conversion =
        srgb ? pingwell::outputColorConversion(&pingwell_host::StandInServices::lookup)
             : std::nullopt;
    pingwell::PreviewCapture capture(frame.width, frame.height,
                                     conversion ? &*conversion : nullptr);
    for (int y = 0; y < frame.height; ++y)
      capture.addLine(y, frame.line(0, y), frame.line(1, y), frame.line(2, y));
    const std::vector<uint8_t> jpeg = pingwell::encodePreviewJpeg(capture.finish());
    jpegBytes = jpeg.size();
    benchmark::DoNotOptimize(jpeg.data());
  }
  setLabel(state, frame);
  state.counters["jpeg_bytes"] = static_cast<double>(jpegBytes);
}
void BM_PreviewCaptureAndEncode(benchmark::State& state) { previewCaptureAndEncode(state, false); }
void BM_PreviewCaptureAndEncodeSrgb(benchmark::State& state) {
  previewCaptureAndEncode(state, true);
}

// The two halves alone.
void BM_PreviewCapture(benchmark::State& state) {
  const RenderedFrame& frame = frameOf(state);
  for (auto _ : state) {
    pingwell::PreviewCapture capture(frame.width, frame.height);
    for (int y = 0; y < frame.height; ++y)
      capture.addLine(y, frame.line(0, y), frame.line(1, y), frame.line(2, y));
    const pingwell::PreviewPixels pixels = capture.finish();
    benchmark::DoNotOptimize(pixels.rgb.data());
  }
  setLabel(state, frame);
}

void BM_PreviewEncode(benchmark::State& state) {
  const RenderedFrame& frame = frameOf(state);
  pingwell::PreviewCapture capture(frame.width, frame.height);
  for (int y = 0; y < frame.height; ++y)
    capture.addLine(y, frame.line(0, y), frame.line(1, y), frame.line(2, y));
  const pingwell::PreviewPixels pixels = capture.finish();
  for (auto _ : state) {
    const std::vector<uint8_t> jpeg = pingwell::encodePreviewJpeg(pixels);
    benchmark::DoNotOptimize(jpeg.data());
  }
  setLabel(state, frame);
}

// The baseline: what any filter that leaves the frame as it is must do,
// through the host's functions as the host hands them over.
void BM_PassThroughCopy(benchmark::State& state) {
  const RenderedFrame& frame = frameOf(state);
  const HostFilterAccess access = Host::access(frame);
  for (auto _ : state) {
    bench::passThrough(access);
    benchmark::DoNotOptimize(Host::rgb.data());
  }
  setLabel(state, frame);
}

// The filter's process: the pass-through and the preview together (the
// preview handed over, not encoded).
void previewFilterProcess(benchmark::State& state, bool srgb) {
  const RenderedFrame& frame = frameOf(state);
  const HostFilterAccess access = Host::access(frame);
  if (srgb) useSrgbOutput();
  void* instance = srgb ? pingwell::previewFilterCreate(kLookup, nullptr, nullptr) : nullptr;
  for (auto _ : state) {
    pingwell::previewFilterProcess(instance, &access);
    benchmark::DoNotOptimize(Host::rgb.data());
  }
  pingwell::previewFilterDestroy(instance);
  pingwell::FramePreviews::instance().newRender();
  setLabel(state, frame);
}
void BM_PreviewFilterProcess(benchmark::State& state) { previewFilterProcess(state, false); }
void BM_PreviewFilterProcessSrgb(benchmark::State& state) { previewFilterProcess(state, true); }

void sizes(benchmark::internal::Benchmark* b) {
  b->Arg(1920)->Arg(3840)->Unit(benchmark::kMillisecond)->UseRealTime();
}
BENCHMARK(BM_PreviewCaptureAndEncode)->Apply(sizes);
BENCHMARK(BM_PreviewCapture)->Apply(sizes);
BENCHMARK(BM_PreviewEncode)->Apply(sizes);
BENCHMARK(BM_PassThroughCopy)->Apply(sizes);
BENCHMARK(BM_PreviewFilterProcess)->Apply(sizes);
BENCHMARK(BM_PreviewCaptureAndEncodeSrgb)->Apply(sizes);
BENCHMARK(BM_PreviewFilterProcessSrgb)->Apply(sizes);

}  // namespace

BENCHMARK_MAIN();
