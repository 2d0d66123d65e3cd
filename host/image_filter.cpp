#include "image_filter.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "script.h"

namespace pingwell_host {

namespace {

constexpr int kChannels = 4;
constexpr uint8_t kRgbSet = 1;
constexpr uint8_t kAlphaSet = 2;
const char* const kChannelNames[kChannels] = {"red", "green", "blue", "alpha"};

// The frame being filtered; one filter call at a time.
FilterFrame* current = nullptr;

int positiveModulo(int64_t value, int64_t modulus) {
  return static_cast<int>(((value % modulus) + modulus) % modulus);
}

// The rendered pixel (x, y) of `frame`, linear red, green, blue and alpha,
// as a render looks: a sky graded to the horizon with a sun far above 1, a
// ground graded to the camera, a shaded ball that rolls along from frame to
// frame over a shadow a little below 0, a flat grey card of 0.2 at the
// lower left (x from 4 % to 20 % of the width, y from 72 % to 94 % of the
// height), and a not-a-number in one channel of one pixel every 64 lines
// outside the card, as a misbehaving shader leaves them.
void renderPixel(int32_t frame, int x, int y, FrameSize size, float rgba[4]) {
  const float u = (static_cast<float>(x) + 0.5f) / static_cast<float>(size.width);
  const float v = (static_cast<float>(y) + 0.5f) / static_cast<float>(size.height);
  const float aspect = static_cast<float>(size.width) / static_cast<float>(size.height);
  const float phase = static_cast<float>(positiveModulo(frame, 240)) / 240.0f;
  constexpr float kHorizon = 0.6f;
  float r, g, b;
  if (v < kHorizon) {
    const float t = v / kHorizon;  // 0 at the top, 1 at the horizon
    r = 0.08f + 0.55f * t * t;
    g = 0.18f + 0.5f * t * t;
    b = 0.55f + 0.25f * t;
    const float du = (u - 0.78f) * aspect;
    const float dv = v - 0.18f;
    const float sun = std::sqrt(du * du + dv * dv);
    const float glow = 2.5f * std::exp(-sun * sun / 0.004f);
    r += glow;
    g += 0.9f * glow;
    b += 0.7f * glow;
  } else {
    const float t = (v - kHorizon) / (1.0f - kHorizon);  // 0 at the horizon, 1 at the bottom
    r = 0.22f - 0.12f * t;
    g = 0.3f - 0.15f * t;
    b = 0.1f - 0.05f * t;
  }
  // The ball and its shadow.
  const float ballU = 0.3f + 0.45f * phase;
  const float radius = 0.14f;
  const float su = (u - ballU - 0.03f) * aspect / 2.5f;
  const float sv = (v - 0.8f) / 0.04f * 0.14f;
  if (v >= kHorizon && su * su + sv * sv < radius * radius) {
    r = -0.05f;
    g = -0.04f;
    b = -0.02f;
  }
  const float bu = (u - ballU) * aspect;
  const float bv = v - 0.64f;
  const float d2 = bu * bu + bv * bv;
  if (d2 < radius * radius) {
    const float nz = std::sqrt(radius * radius - d2) / radius;
    const float lambert = std::max(0.0f, (-0.5f * bu / radius - 0.6f * bv / radius + 0.62f * nz));
    const float highlight = std::pow(std::max(0.0f, lambert), 40.0f) * 3.0f;
    r = 0.85f * lambert + 0.02f + highlight;
    g = 0.12f * lambert + 0.01f + highlight;
    b = 0.06f * lambert + 0.01f + highlight;
  }
  const bool card = u >= 0.04f && u < 0.2f && v >= 0.72f && v < 0.94f;
  if (card) r = g = b = 0.2f;
  rgba[0] = r;
  rgba[1] = g;
  rgba[2] = b;
  rgba[3] = 1.0f;
  if (!card && positiveModulo(int64_t{y} + frame, 64) == 0 &&
      x == positiveModulo(int64_t{frame} * 131 + int64_t{y} * 7, size.width))
    rgba[positiveModulo(int64_t{frame} + y, kChannels)] = std::numeric_limits<float>::quiet_NaN();
}

uint32_t bitsOf(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

std::string hexBits(float value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08" PRIx32, bitsOf(value));
  return text;
}

std::string pixelName(int x, int y) {
  return "(" + std::to_string(x) + ", " + std::to_string(y) + ")";
}

int32_t sideOf(const std::string& text, const char* what, int line) {
  int32_t side = parseInt32(text, what, line);
  if (side < 1 || side > kMaxFrameSide)
    throw ScriptError(line, std::string(what) + " must be 1 to " + std::to_string(kMaxFrameSide));
  return side;
}

}  // namespace

FrameSize parseFrameSize(const std::string& text, int line) {
  std::string::size_type cross = text.find('x');
  if (cross == std::string::npos) throw ScriptError(line, "the size is not WxH: " + text);
  FrameSize size;
  size.width = sideOf(text.substr(0, cross), "the width", line);
  size.height = sideOf(text.substr(cross + 1), "the height", line);
  if (int64_t{size.width} * size.height > kMaxFramePixels)
    throw ScriptError(
        line, "the frame has more than " + std::to_string(kMaxFramePixels) + " pixels: " + text);
  return size;
}

FilterFrame::FilterFrame(FrameSize size, int32_t frame, double start, double end)
    : size_(size),
      frame_(frame),
      start_(start),
      end_(end),
      nullChannel_(positiveModulo(frame, kChannels)),
      nullLine_(positiveModulo(frame, size.height)) {
  const size_t pixels = static_cast<size_t>(size_.width) * static_cast<size_t>(size_.height);
  input_.resize(pixels * kChannels);
  output_.assign(pixels * kChannels, 0.0f);
  set_.assign(pixels, 0);
  for (int y = 0; y < size_.height; ++y) {
    for (int x = 0; x < size_.width; ++x) {
      float rgba[kChannels];
      renderPixel(frame_, x, y, size_, rgba);
      for (int c = 0; c < kChannels; ++c) input_[index(c, x, y)] = rgba[c];
    }
  }
}

size_t FilterFrame::index(int channel, int x, int y) const {
  const size_t width = static_cast<size_t>(size_.width);
  const size_t plane = width * static_cast<size_t>(size_.height);
  return static_cast<size_t>(channel) * plane + static_cast<size_t>(y) * width +
         static_cast<size_t>(x);
}

bool FilterFrame::inside(int x, int y) const {
  return x >= 0 && y >= 0 && x < size_.width && y < size_.height;
}

void FilterFrame::fault(const std::string& what) {
  if (fault_.empty()) fault_ = "frame " + std::to_string(frame_) + ": " + what;
}

void FilterFrame::process(void (*process)(void*, const HostFilterAccess*), void* instance) {
  HostFilterAccess access{};
  access.width = size_.width;
  access.height = size_.height;
  access.frame = frame_;
  access.start = start_;
  access.end = end_;
  access.getLine = &FilterFrame::getLine;
  access.setRGB = &FilterFrame::setRGB;
  access.setAlpha = &FilterFrame::setAlpha;
  access.monitor = nullptr;
  struct Current {
    explicit Current(FilterFrame* frame) { current = frame; }
    ~Current() { current = nullptr; }
    Current(const Current&) = delete;
    Current& operator=(const Current&) = delete;
  } during(this);
  process(instance, &access);
}

// Outside a filter call, and for a buffer or line the frame does not have,
// there is no line.
float* FilterFrame::getLine(int type, int y) {
  FilterFrame* f = current;
  if (!f || type < HOST_BUFFER_RED || type > HOST_BUFFER_ALPHA || y < 0 || y >= f->size_.height)
    return nullptr;
  const int channel = type - HOST_BUFFER_RED;
  if (channel == f->nullChannel_ && y == f->nullLine_) return nullptr;
  return &f->input_[f->index(channel, 0, y)];
}

void FilterFrame::setRGB(int x, int y, const float rgb[3]) {
  FilterFrame* f = current;
  if (!f) return;
  if (!rgb) return f->fault("setRGB was given no colour for pixel " + pixelName(x, y));
  if (!f->inside(x, y)) return f->fault("setRGB outside the frame at " + pixelName(x, y));
  for (int c = 0; c < 3; ++c) f->output_[f->index(c, x, y)] = rgb[c];
  f->set_[f->index(0, x, y)] |= kRgbSet;
}

void FilterFrame::setAlpha(int x, int y, float alpha) {
  FilterFrame* f = current;
  if (!f) return;
  if (!f->inside(x, y)) return f->fault("setAlpha outside the frame at " + pixelName(x, y));
  f->output_[f->index(3, x, y)] = alpha;
  f->set_[f->index(0, x, y)] |= kAlphaSet;
}

std::string FilterFrame::check() const {
  if (!fault_.empty()) return fault_;
  const std::string frame = "frame " + std::to_string(frame_) + ": ";
  for (int y = 0; y < size_.height; ++y) {
    for (int x = 0; x < size_.width; ++x) {
      const uint8_t set = set_[index(0, x, y)];
      if (!(set & kRgbSet)) return frame + "the filter never set RGB of pixel " + pixelName(x, y);
      if (!(set & kAlphaSet))
        return frame + "the filter never set alpha of pixel " + pixelName(x, y);
      for (int c = 0; c < kChannels; ++c) {
        const float given = c == nullChannel_ && y == nullLine_ ? 0.0f : input_[index(c, x, y)];
        const float got = output_[index(c, x, y)];
        if (bitsOf(given) != bitsOf(got))
          return frame + "pixel " + pixelName(x, y) + " " + kChannelNames[c] + " is " +
                 hexBits(got) + ", expected " + hexBits(given);
      }
    }
  }
  return {};
}

}  // namespace pingwell_host
