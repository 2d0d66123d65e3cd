// What a frame's preview costs the render thread: the preview collected from
// the frame's lines and encoded as a JPEG, for a 1920 x 1080 frame (kept at
// its size) and a 3840 x 2160 one (halved), against the pass-through the
// filter has to do anyway, one setRGB and one setAlpha call per pixel into
// the host's output buffer. The filter's whole process, both together, too.
// The preview and the process again with the host's output color space set
// to sRGB (the host stand-in's services), converted as the saved file is.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "host/standin_services.h"
#include "plugin/previews/frame_previews.h"
#include "plugin/previews/image_filter.h"
#include "plugin/previews/output_color_space.h"
#include "plugin/previews/preview_image.h"

namespace {

// A rendered frame: smooth gradients with highlights above 1 and a few
// negative and not-a-number values, as a shader may leave them.
struct RenderedFrame {
  int width;
  int height;
  std::vector<float> channels[4];  // red, green, blue, alpha

  RenderedFrame(int w, int h) : width(w), height(h) {
    for (auto& channel : channels) channel.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const size_t i = static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x);
        const float u = static_cast<float>(x) / static_cast<float>(w);
        const float v = static_cast<float>(y) / static_cast<float>(h);
        channels[0][i] = 1.3f * u;
        channels[1][i] = 0.5f + 0.5f * std::sin(20.0f * u + 7.0f * v);
        channels[2][i] = (x * 7 + y * 13) % 97 == 0 ? NAN : v - 0.1f;
        channels[3][i] = 1.0f;
      }
    }
  }
  const float* line(int channel, int y) const {
    return channels[channel].data() + static_cast<size_t>(y) * static_cast<size_t>(width);
  }
};

// The host's side of a filter call: lines from the frame, the output into
// buffers of its own.
struct Host {
  static const RenderedFrame* frame;
  static std::vector<float> rgb;
  static std::vector<float> alpha;

  static float* getLine(int type, int y) {
    return const_cast<float*>(frame->line(type - HOST_BUFFER_RED, y));
  }
  static void setRGB(int x, int y, const float value[3]) {
    float* out =
        rgb.data() +
        (static_cast<size_t>(y) * static_cast<size_t>(frame->width) + static_cast<size_t>(x)) * 3;
    out[0] = value[0];
    out[1] = value[1];
    out[2] = value[2];
  }
  static void setAlpha(int x, int y, float value) {
    alpha[static_cast<size_t>(y) * static_cast<size_t>(frame->width) + static_cast<size_t>(x)] =
        value;
  }
  static HostFilterAccess access(const RenderedFrame& f) {
    frame = &f;
    rgb.assign(f.channels[0].size() * 3, 0.0f);
    alpha.assign(f.channels[0].size(), 0.0f);
    return HostFilterAccess{f.width, f.height, 1, 0.0, 0.04, getLine, setRGB, setAlpha, nullptr};
  }
};
const RenderedFrame* Host::frame = nullptr;
std::vector<float> Host::rgb;
std::vector<float> Host::alpha;

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
    auto* volatile setRGB = access.setRGB;
    auto* volatile setAlpha = access.setAlpha;
    for (int y = 0; y < frame.height; ++y) {
      const float* red = access.getLine(HOST_BUFFER_RED, y);
      const float* green = access.getLine(HOST_BUFFER_GREEN, y);
      const float* blue = access.getLine(HOST_BUFFER_BLUE, y);
      const float* alpha = access.getLine(HOST_BUFFER_ALPHA, y);
      for (int x = 0; x < frame.width; ++x) {
        const float rgb[3] = {red[x], green[x], blue[x]};
        setRGB(x, y, rgb);
      }
      for (int x = 0; x < frame.width; ++x) setAlpha(x, y, alpha[x]);
    }
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
