#pragma once
// The host's side of an image filter call as the preview benchmarks play it:
// a rendered frame kept in memory and the host's output buffers, with the
// getLine, setRGB and setAlpha the filter calls. Cheaper than the host
// stand-in's checked frame, as a host's own buffers are.
#include <cmath>
#include <cstddef>
#include <vector>

#include "plugin/host_api/host_interface.h"

namespace bench {

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
  static inline const RenderedFrame* frame = nullptr;
  static inline std::vector<float> rgb;
  static inline std::vector<float> alpha;

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
  // The access record of frame `number` of `f`, its output buffers cleared
  // (kept, not made anew, while the frame's size stays).
  static HostFilterAccess access(const RenderedFrame& f, int number = 1) {
    frame = &f;
    rgb.assign(f.channels[0].size() * 3, 0.0f);
    alpha.assign(f.channels[0].size(), 0.0f);
    return HostFilterAccess{f.width, f.height, number,   0.0,    0.04,
                            getLine, setRGB,   setAlpha, nullptr};
  }
};

// The baseline: what any filter that leaves the frame as it is must do,
// through the host's functions as the host hands them over (called through
// pointers the compiler cannot see through, as a plug-in calls the host's).
inline void passThrough(const HostFilterAccess& access) {
  auto* volatile setRGB = access.setRGB;
  auto* volatile setAlpha = access.setAlpha;
  for (int y = 0; y < access.height; ++y) {
    const float* red = access.getLine(HOST_BUFFER_RED, y);
    const float* green = access.getLine(HOST_BUFFER_GREEN, y);
    const float* blue = access.getLine(HOST_BUFFER_BLUE, y);
    const float* alpha = access.getLine(HOST_BUFFER_ALPHA, y);
    for (int x = 0; x < access.width; ++x) {
      const float rgb[3] = {red[x], green[x], blue[x]};
      setRGB(x, y, rgb);
    }
    for (int x = 0; x < access.width; ++x) setAlpha(x, y, alpha[x]);
  }
}

}  // namespace bench
