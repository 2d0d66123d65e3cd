// The frame's preview on frames of any size up to 8192 pixels a side (and
// 2^16 pixels in all, so that an input stays cheap), of any float values,
// their lines added in any order, some missing, some twice, some channels
// missing.
//
// Input: width and height (16 bits each, little-endian, taken modulo 8192,
// plus 1; the height then cut to the pixel limit), a byte of rates (low nibble: how often a line is
// left out, high nibble: how often one comes twice or a channel is missing), a 32-bit seed for the
// order, then the frame's palette: up to 16 values of 5 bytes each, a selector (below 0x40: one of
// the special values, else the 4 bytes as a float's bits, any NaN or infinity among them).
//
// Properties: the preview's size (longer side at most 1920 and never
// enlarged, the aspect kept to the rounding of the shorter side, at least a
// pixel); each preview pixel is the rounded average of the 8-bit values over
// the exact frame area it covers, missing lines black and only a line's first
// delivery counting, against a reference computed independently in doubles
// from the geometry of the areas; the JPEG decodes to the preview's size.
// The same lines through the host stand-in's Cineon conversion, whose white
// lies far above linear 1: each preview pixel within 1 of the conversion of
// the average linear light over its area, the values clamped to 0..17 (the
// top of what is kept, above Cineon's white), not-a-number as 0.
#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "fuzz_check.h"
#include "host/color_space.h"
#include "plugin/previews/preview_image.h"

namespace {

constexpr int kMaxSide = 8192;  // 7680, four times 1920, among them
constexpr int kMaxPixels = 1 << 16;

struct Input {
  const uint8_t* data;
  size_t size;
  size_t next = 0;
  uint32_t take(size_t bytes) {
    uint32_t value = 0;
    for (size_t i = 0; i < bytes && next < size; ++i, ++next)
      value |= static_cast<uint32_t>(data[next]) << (8 * i);
    return value;
  }
  bool more() const { return next < size; }
};

// A small generator for the order and the faults, from the input's seed.
struct Random {
  uint32_t state;
  uint32_t next() {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  }
};

float palettePick(uint8_t selector, uint32_t bits) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const float special[] = {0.0f, -0.0f, 1.0f, 0.5f,  nan,    -nan,          inf,
                           -inf, -1.0f, 2.0f, 1e-7f, 0.999f, 1.0f / 255.0f, 254.5f / 255.0f};
  if (selector < 0x40) return special[selector % (sizeof special / sizeof special[0])];
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// The value an 8-bit saver writes: clamped to 0..1 (not a number as 0),
// times 255, rounded half up.
int eightBit(float v) {
  if (!(v > 0.0f)) return 0;
  if (v > 1.0f) v = 1.0f;
  return static_cast<int>(v * 255.0f + 0.5f);
}

// The linear light kept of a value for a conversion whose white lies above
// 1: clamped to 0..17 (Cineon's white is at about 13.4), not a number as 0.
double keptLinear(float v) {
  if (!(v > 0.0f)) return 0.0;
  return std::min(static_cast<double>(v), 17.0);
}

// For each frame pixel along one side, the preview pixels it overlaps and
// by how much of a preview pixel (the frame's side n, the preview's m <= n).
struct Overlap {
  int first;
  double firstShare;
  double secondShare;  // of first + 1; 0 when it has none
};
std::vector<Overlap> overlaps(int n, int m) {
  std::vector<Overlap> result(static_cast<size_t>(n));
  const double scale = static_cast<double>(m) / n;
  for (int i = 0; i < n; ++i) {
    const double from = i * scale;
    const double to = (i + 1) * scale;
    auto first = static_cast<int>(std::floor(from));
    if (first >= m) first = m - 1;
    const double split = first + 1.0;
    Overlap& o = result[static_cast<size_t>(i)];
    o.first = first;
    o.firstShare = std::min(to, split) - from;
    o.secondShare = to > split && first + 1 < m ? to - split : 0.0;
  }
  return result;
}

struct TurboJpegDeleter {
  void operator()(void* handle) const { tjDestroy(handle); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input{data, size};
  const int width = 1 + static_cast<int>(input.take(2) % kMaxSide);
  int height = 1 + static_cast<int>(input.take(2) % kMaxSide);
  if (width * height > kMaxPixels) height = std::max(1, kMaxPixels / width);
  const uint32_t rates = input.take(1);
  const uint32_t missingRate = rates & 15;  // in sixteenths
  const uint32_t faultRate = rates >> 4;
  Random random{input.take(4)};
  std::vector<float> palette;
  while (input.more() && palette.size() < 16) {
    const auto selector = static_cast<uint8_t>(input.take(1));
    palette.push_back(palettePick(selector, input.take(4)));
  }
  if (palette.empty()) palette.push_back(0.25f);

  // The frame: each value from the palette, by a hash of its place.
  const auto valueAt = [&](int x, int y, int c) {
    const uint32_t h = (static_cast<uint32_t>(x) * 73856093u) ^
                       (static_cast<uint32_t>(y) * 19349663u) ^
                       (static_cast<uint32_t>(c) * 83492791u);
    return palette[(h >> 3) % palette.size()];
  };
  std::vector<float> lines[3];
  for (auto& channel : lines) channel.resize(static_cast<size_t>(width));

  pingwell::PreviewCapture capture(width, height);
  pingwell::PreviewConversion cineon;
  cineon.convert = pingwell_host::colorSpaceRecord()->getPixelConversionRGB(
      HOST_COLOR_SPACE_CINEON, HOST_CONVERSION_FROM_LINEAR, &cineon.lookup);
  FUZZ_CHECK(cineon.convert != nullptr);
  pingwell::PreviewCapture logCapture(width, height, &cineon);
  const int longest = std::max(width, height);
  const int previewWidth = capture.previewWidth();
  const int previewHeight = capture.previewHeight();
  // Size: the frame's while it fits, else the longer side 1920 and the
  // shorter one scaled, rounded, at least 1.
  if (longest <= pingwell::kPreviewLongestSide) {
    FUZZ_CHECK(previewWidth == width && previewHeight == height);
  } else {
    FUZZ_CHECK(std::max(previewWidth, previewHeight) == pingwell::kPreviewLongestSide);
    const double scale = static_cast<double>(pingwell::kPreviewLongestSide) / longest;
    FUZZ_CHECK(std::fabs(previewWidth - std::max(1.0, width * scale)) <= 0.5 + 1e-9);
    FUZZ_CHECK(std::fabs(previewHeight - std::max(1.0, height * scale)) <= 0.5 + 1e-9);
    FUZZ_CHECK(previewWidth <= width && previewHeight <= height);
  }

  // The reference, in doubles: each added line's 8-bit values spread over
  // the preview pixels by the shares of their areas.
  const std::vector<Overlap> across = overlaps(width, previewWidth);
  const std::vector<Overlap> down = overlaps(height, previewHeight);
  std::vector<double> reference(static_cast<size_t>(previewWidth) * previewHeight * 3, 0.0);
  std::vector<double> linearReference(reference.size(), 0.0);
  std::vector<bool> added(static_cast<size_t>(height), false);
  const auto addToReference = [&](int y, const float* const channels[3]) {
    const Overlap& row = down[static_cast<size_t>(y)];
    for (int x = 0; x < width; ++x) {
      const Overlap& column = across[static_cast<size_t>(x)];
      for (int c = 0; c < 3; ++c) {
        const double v = channels[c] ? eightBit(channels[c][x]) : 0;
        const double linear = channels[c] ? keptLinear(channels[c][x]) : 0.0;
        const auto addAt = [&](int ox, int oy, double share) {
          if (share > 0.0) {
            const size_t at = (static_cast<size_t>(oy) * previewWidth + ox) * 3 + c;
            reference[at] += v * share;
            linearReference[at] += linear * share;
          }
        };
        addAt(column.first, row.first, column.firstShare * row.firstShare);
        addAt(column.first + 1, row.first, column.secondShare * row.firstShare);
        addAt(column.first, row.first + 1, column.firstShare * row.secondShare);
        addAt(column.first + 1, row.first + 1, column.secondShare * row.secondShare);
      }
    }
  };

  // The lines in a shuffled order; some left out, some twice (with other
  // values, which must not count), some without a channel; lines outside
  // the frame, which must be ignored.
  std::vector<int> order(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) order[static_cast<size_t>(y)] = y;
  for (size_t i = order.size(); i > 1; --i) std::swap(order[i - 1], order[random.next() % i]);
  for (const int y : order) {
    if (random.next() % 16 < missingRate) continue;
    const int deliveries = random.next() % 16 < faultRate ? 2 : 1;
    for (int delivery = 0; delivery < deliveries; ++delivery) {
      const float* channels[3];
      for (int c = 0; c < 3; ++c) {
        for (int x = 0; x < width; ++x)
          lines[c][static_cast<size_t>(x)] = valueAt(x, y + delivery, c);
        channels[c] = random.next() % 32 < faultRate ? nullptr : lines[c].data();
      }
      capture.addLine(y, channels[0], channels[1], channels[2]);
      logCapture.addLine(y, channels[0], channels[1], channels[2]);
      if (!added[static_cast<size_t>(y)]) addToReference(y, channels);
      added[static_cast<size_t>(y)] = true;
    }
    if (random.next() % 64 < faultRate)
      capture.addLine(random.next() % 2 ? height : -1, lines[0].data(), nullptr, nullptr);
  }

  const pingwell::PreviewPixels pixels = capture.finish();
  FUZZ_CHECK(pixels.width == previewWidth && pixels.height == previewHeight);
  FUZZ_CHECK(pixels.rgb.size() == static_cast<size_t>(previewWidth) * previewHeight * 3);
  for (size_t i = 0; i < pixels.rgb.size(); ++i) {
    const double expected = reference[i];
    const int got = pixels.rgb[i];
    // Rounded half up; a reference within its own rounding error of a half
    // may go either way.
    const double fraction = expected - std::floor(expected);
    if (std::fabs(fraction - 0.5) < 1e-6) {
      FUZZ_CHECK(got == static_cast<int>(std::floor(expected)) ||
                 got == static_cast<int>(std::ceil(expected)));
    } else {
      FUZZ_CHECK(got == static_cast<int>(std::floor(expected + 0.5)));
    }
  }

  const pingwell::PreviewPixels logPixels = logCapture.finish();
  FUZZ_CHECK(logPixels.width == previewWidth && logPixels.height == previewHeight);
  FUZZ_CHECK(logPixels.rgb.size() == pixels.rgb.size());
  for (size_t i = 0; i < logPixels.rgb.size(); ++i) {
    const float average = static_cast<float>(linearReference[i]);
    const int expected = eightBit(pingwell_host::cineonFromLinear(average));
    FUZZ_CHECK(std::abs(logPixels.rgb[i] - expected) <= 1);
  }

  const std::vector<uint8_t> jpeg = pingwell::encodePreviewJpeg(pixels);
  const std::unique_ptr<void, TurboJpegDeleter> decoder(tjInitDecompress());
  FUZZ_CHECK(decoder != nullptr);
  int jpegWidth = 0, jpegHeight = 0, subsampling = -1, colorspace = -1;
  FUZZ_CHECK(tjDecompressHeader3(decoder.get(), jpeg.data(),
                                 static_cast<unsigned long>(jpeg.size()), &jpegWidth, &jpegHeight,
                                 &subsampling, &colorspace) == 0);
  FUZZ_CHECK(jpegWidth == previewWidth && jpegHeight == previewHeight);
  return 0;
}
