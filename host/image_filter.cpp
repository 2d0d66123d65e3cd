#include "image_filter.h"

#include <cinttypes>
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

uint32_t mix(uint32_t h) {
  h ^= h >> 16;
  h *= 0x7feb352dU;
  h ^= h >> 15;
  h *= 0x846ca68bU;
  h ^= h >> 16;
  return h;
}

// The rendered value of one channel of one pixel: -1.5 to 2.5, so values
// above 1 and below 0 are common, and one not-a-number in every line.
float pattern(int32_t frame, int channel, int x, int y, int width) {
  if (x == positiveModulo(int64_t{frame} * 7 + y + channel * 5, width))
    return std::numeric_limits<float>::quiet_NaN();
  uint32_t h = mix(static_cast<uint32_t>(frame) * 0x9e3779b9U ^
                   mix(static_cast<uint32_t>(channel) * 0x85ebca6bU ^
                       mix(static_cast<uint32_t>(y) * 0xc2b2ae35U ^ static_cast<uint32_t>(x))));
  return static_cast<float>(h % 4001) / 1000.0f - 1.5f;
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
  for (int c = 0; c < kChannels; ++c)
    for (int y = 0; y < size_.height; ++y)
      for (int x = 0; x < size_.width; ++x)
        input_[index(c, x, y)] = pattern(frame_, c, x, y, size_.width);
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
