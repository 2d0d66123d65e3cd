// The renderer's side of an image filter: the frame it hands the filter
// (the host's own buffers, a test pattern), the output the filter writes
// through setRGB and setAlpha, and the check that a pass-through filter gave
// back what it was given.
#ifndef PINGWELL_HOST_IMAGE_FILTER_H
#define PINGWELL_HOST_IMAGE_FILTER_H

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/host_api/host_interface.h"

namespace pingwell_host {

struct FrameSize {
  int32_t width = 640;
  int32_t height = 360;
};

// Bounds of size=WxH: each side at most 8192 pixels and the frame at most
// 16777216 pixels (4096x4096, 8192x2048), so the host's input and output
// buffers (4 floats a pixel each) stay within 512 MiB together.
constexpr int32_t kMaxFrameSide = 8192;
constexpr int64_t kMaxFramePixels = int64_t{4096} * 4096;

// "WxH" as a frame size within the bounds above; throws ScriptError naming
// what is wrong.
FrameSize parseFrameSize(const std::string& text, int line);

// One frame as the renderer hands it to an image filter: a render of
// smooth gradients and a few shapes, which moves from frame to frame, with
// values above 1, below 0 and not-a-number among them, a flat linear grey of
// 0.2 at the lower left (x from 4 % to 20 % of the width, y from 72 % to
// 94 %), and one line of one buffer that getLine does not give (NULL), whose
// output the filter is to write as 0.
class FilterFrame {
 public:
  FilterFrame(FrameSize size, int32_t frame, double start, double end);
  FilterFrame(const FilterFrame&) = delete;
  FilterFrame& operator=(const FilterFrame&) = delete;

  // Calls `process` once with the frame's access record. getLine, setRGB
  // and setAlpha have no context argument, so they reach this frame
  // through the host's one current filter call.
  void process(void (*process)(void*, const HostFilterAccess*), void* instance);

  // Empty when the output equals the input bit for bit (0 where getLine
  // gave NULL) and every pixel was set; else what was wrong first, naming
  // the frame and the pixel.
  std::string check() const;

 private:
  static float* getLine(int type, int y);
  static void setRGB(int x, int y, const float rgb[3]);
  static void setAlpha(int x, int y, float alpha);

  size_t index(int channel, int x, int y) const;
  bool inside(int x, int y) const;
  void fault(const std::string& what);

  FrameSize size_;
  int32_t frame_;
  double start_, end_;
  int nullChannel_;  // getLine(HOST_BUFFER_RED + nullChannel_, nullLine_) is NULL
  int nullLine_;
  std::vector<float> input_;   // four planes (red, green, blue, alpha), line by line
  std::vector<float> output_;  // likewise
  std::vector<uint8_t> set_;   // a pixel's bit 1: RGB set, bit 2: alpha set
  std::string fault_;          // the first call that broke the contract
};

}  // namespace pingwell_host

#endif
