#include "plugin/previews/preview_image.h"

#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace pingwell {

namespace {

// A channel value as an image saver of `levels` steps writes it (255 for 8
// bits): clamped to 0..1, not a number as 0 (the first comparison is false
// for it), scaled by `levels` and rounded.
inline int quantize(float v, int levels) noexcept {
  v = v > 0.0f ? v : 0.0f;
  v = v < 1.0f ? v : 1.0f;
  return static_cast<int>(v * static_cast<float>(levels) + 0.5f);
}

// quantize() over a line; for the part above white (kAboveWhite), of each
// value v the part (v - 1) * aboveScale, so that 1 + 1 / aboveScale is the
// top step. The compilers leave the plain loop scalar and branching, so on
// x86-64 (SSE2 is part of it) eight values at a time: the same operations,
// maxps giving its second operand 0 for not a number.
template <bool kAboveWhite>
void quantizeLine(const float* in, uint16_t* out, int count, int levels,
                  float aboveScale) noexcept {
  int x = 0;
#if defined(__SSE2__) || defined(_M_X64)
  const __m128 zero = _mm_setzero_ps();
  const __m128 one = _mm_set1_ps(1.0f);
  const __m128 scale = _mm_set1_ps(static_cast<float>(levels));
  const __m128 half = _mm_set1_ps(0.5f);
  const __m128 above = _mm_set1_ps(aboveScale);
  const auto toInt = [&](const float* at) {
    __m128 v = _mm_loadu_ps(at);
    if constexpr (kAboveWhite) v = _mm_mul_ps(_mm_sub_ps(v, one), above);
    v = _mm_max_ps(v, zero);
    v = _mm_min_ps(v, one);
    return _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(v, scale), half));
  };
  // At most 4095: the signed 16-bit pack keeps every value.
  for (; x + 8 <= count; x += 8) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                     _mm_packs_epi32(toInt(in + x), toInt(in + x + 4)));
  }
#else
  (void)aboveScale;
#endif
  for (; x < count; ++x) {
    const float v = kAboveWhite ? (in[x] - 1.0f) * aboveScale : in[x];
    out[x] = static_cast<uint16_t>(quantize(v, levels));
  }
}

// The preview's side for a frame side of `side` when the frame's longer side
// is `longest`: the same side while it fits, else scaled so that the longer
// side becomes kPreviewLongestSide, rounded, at least one pixel.
int previewSide(int side, int longest) {
  if (longest <= kPreviewLongestSide) return side;
  const int64_t scaled = (static_cast<int64_t>(side) * kPreviewLongestSide + longest / 2) / longest;
  return static_cast<int>(std::max<int64_t>(scaled, 1));
}

// One pixel converted and clamped into 8 bits at `out`.
void convertPixel(const PreviewConversion& conversion, float in[3], uint8_t* out) noexcept {
  float converted[3] = {0.0f, 0.0f, 0.0f};
  conversion.convert(conversion.lookup, in, converted);
  for (size_t c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>(quantize(converted[c], 255));
}

// The conversion of a grey of `linear`, each channel as 8 bits.
std::array<int, 3> convertedGrey(const PreviewConversion& conversion, float linear) {
  float in[3] = {linear, linear, linear};
  float out[3] = {0.0f, 0.0f, 0.0f};
  conversion.convert(conversion.lookup, in, out);
  return {quantize(out[0], 255), quantize(out[1], 255), quantize(out[2], 255)};
}

// How far above linear 1 the conversion's white lies, as the power of two
// log2 N: linear 1 + N is the first of 1 + 1, 1 + 2, 1 + 4 ... that every
// channel converts to 8-bit white (N at most
// PreviewCapture::kMaxAboveWhite). -1 when linear 1 already converts to
// white, as sRGB and Rec. 709 do: nothing above it needs keeping.
int aboveWhiteShift(const PreviewConversion& conversion) {
  const auto white = [&](float linear) {
    const std::array<int, 3> grey = convertedGrey(conversion, linear);
    return grey[0] == 255 && grey[1] == 255 && grey[2] == 255;
  };
  if (white(1.0f)) return -1;
  int shift = 0;
  while ((1 << shift) < PreviewCapture::kMaxAboveWhite &&
         !white(1.0f + static_cast<float>(1 << shift)))
    ++shift;
  return shift;
}

}  // namespace

PreviewCapture::PreviewCapture(int width, int height, const PreviewConversion* conversion) {
  if (width <= 0 || height <= 0 || width > kPreviewMaxFrameSide || height > kPreviewMaxFrameSide)
    return;
  width_ = width;
  height_ = height;
  const int longest = std::max(width, height);
  outWidth_ = previewSide(width, longest);
  outHeight_ = previewSide(height, longest);
  if (conversion != nullptr && conversion->convert != nullptr) useConversion(*conversion);
  const auto planes = static_cast<size_t>(planes_);
  rgb_.assign(static_cast<size_t>(outWidth_) * static_cast<size_t>(outHeight_) * 3, 0);
  fillWithBlack();
  seen_.assign(static_cast<size_t>(height), false);
  // A byte of padding after each plane's line: a column's last weight may
  // be 0 on the frame's last pixel.
  quantized_.assign((static_cast<size_t>(width) + 1) * planes, 0);
  rowLevels_.assign(static_cast<size_t>(outWidth_) * planes, 0);
  if (outWidth_ != width || outHeight_ != height) planReduction();
}

void PreviewCapture::useConversion(const PreviewConversion& conversion) {
  levels_ = kConvertedLevels;
  const int shift = aboveWhiteShift(conversion);
  if (shift >= 0) {
    planes_ = 6;
    aboveShift_ = shift;
  }
  if (!conversion.channelsIndependent) {
    perPixel_ = conversion;
    return;
  }
  // A grey of each step gives every channel's entry at once: the steps up
  // to 1, then those above it.
  const size_t steps = static_cast<size_t>(kConvertedLevels);
  const size_t entries = tableEntries();
  const float aboveStep =
      static_cast<float>(1 << aboveShift_) / static_cast<float>(kConvertedLevels);
  tables_.resize(entries * 3);
  for (size_t level = 0; level < entries; ++level) {
    const float value = level <= steps
                            ? static_cast<float>(level) / static_cast<float>(kConvertedLevels)
                            : 1.0f + static_cast<float>(level - steps) * aboveStep;
    const std::array<int, 3> grey = convertedGrey(conversion, value);
    for (size_t c = 0; c < 3; ++c) tables_[c * entries + level] = static_cast<uint8_t>(grey[c]);
  }
}

// Lines never added are black as the conversion has it: not 0 in a space
// whose black is above it (Cineon's film base).
void PreviewCapture::fillWithBlack() noexcept {
  uint8_t black[3] = {0, 0, 0};
  if (!tables_.empty()) {
    for (size_t c = 0; c < 3; ++c) black[c] = tables_[c * tableEntries()];
  } else if (perPixel_.convert != nullptr) {
    float in[3] = {0.0f, 0.0f, 0.0f};
    convertPixel(perPixel_, in, black);
  }
  if (black[0] == 0 && black[1] == 0 && black[2] == 0) return;
  for (size_t i = 0; i < rgb_.size(); i += 3) std::memcpy(&rgb_[i], black, 3);
}

size_t PreviewCapture::tableEntries() const noexcept {
  const auto steps = static_cast<size_t>(levels_);
  return planes_ == 6 ? 2 * steps + 1 : steps + 1;
}

// Reduction. Along x, a frame pixel sx spans [sx * outWidth, (sx + 1) *
// outWidth) and a preview pixel ox spans [ox * width, (ox + 1) * width) in
// units of 1 / (width * outWidth) of the frame: each overlap is a whole
// number of units, and a preview pixel's weights add up to `width`. The same
// along y.
void PreviewCapture::planReduction() {
  const int width = width_;
  const int outWidth = outWidth_;
  if (width == 2 * outWidth || width == 4 * outWidth) {
    pixelsPerColumn_ = width / outWidth;  // the common 2 and 4 times: a faster way
    lineScale_ = outWidth;
  } else {
    columns_.resize(static_cast<size_t>(outWidth));
    for (int ox = 0; ox < outWidth; ++ox) {
      const int64_t start = static_cast<int64_t>(ox) * width;
      const int64_t end = start + width;
      Column& column = columns_[static_cast<size_t>(ox)];
      column.first = static_cast<int>(start / outWidth);
      const int last = static_cast<int>(end / outWidth);
      column.middle = last - column.first - 1;
      column.firstWeight = static_cast<uint32_t>(outWidth - start % outWidth);
      column.lastWeight = static_cast<uint32_t>(end % outWidth);  // 0: `last` is outside
    }
    running_.resize(static_cast<size_t>(width) + 1);
  }
  lineSums_.resize(static_cast<size_t>(outWidth) * static_cast<size_t>(planes_));
  rows_.resize(static_cast<size_t>(outHeight_));
  spareRows_.reserve(static_cast<size_t>(outHeight_));  // giving a row back never allocates
  received_.assign(static_cast<size_t>(outHeight_), 0);
}

int PreviewCapture::previewWidth() const noexcept { return outWidth_; }
int PreviewCapture::previewHeight() const noexcept { return outHeight_; }

void PreviewCapture::addLine(int y, const float* red, const float* green,
                             const float* blue) noexcept {
  if (y < 0 || y >= height_ || failed_) return;
  const auto line = static_cast<size_t>(y);
  if (seen_[line]) return;  // the first delivery of a line counts
  seen_[line] = true;
  const float* channels[3] = {red, green, blue};
  const auto width = static_cast<size_t>(width_);
  const float aboveScale = 1.0f / static_cast<float>(1 << aboveShift_);
  for (size_t plane = 0; plane < static_cast<size_t>(planes_); ++plane) {
    uint16_t* q = quantized_.data() + plane * (width + 1);
    const float* channel = channels[plane % 3];
    if (channel == nullptr) {
      std::memset(q, 0, width * sizeof *q);
    } else if (plane < 3) {
      quantizeLine<false>(channel, q, width_, levels_, aboveScale);
    } else {
      quantizeLine<true>(channel, q, width_, levels_, aboveScale);
    }
  }
  if (rows_.empty()) {
    // The preview is the frame: the line becomes its row.
    emit(quantized_.data(), width + 1, width, rgb_.data() + line * width * 3);
    return;
  }
  try {
    reduceLine(y);
  } catch (const std::bad_alloc&) {
    failed_ = true;  // finish() says so
  }
}

// The sums of each 2 (or 4) neighbouring levels of `q`, for a frame exactly
// 2 (4) times as wide as its preview: every weight is a whole pixel, so the
// sums are in pixels, not in units (lineScale_ makes up for it).
void PreviewCapture::sumPixelGroups(const uint16_t* q, uint32_t* out) const noexcept {
  const int group = pixelsPerColumn_;
  int ox = 0;
#if defined(__SSE2__) || defined(_M_X64)
  // Four preview pixels a step. Levels are at most 4095, so the signed
  // multiply-add of neighbours gives their 32-bit sums.
  const __m128i ones = _mm_set1_epi16(1);
  const auto load = [&](int at) {
    return _mm_madd_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q + at)), ones);
  };
  for (; (ox + 4) * group <= width_; ox += 4) {
    if (group == 2) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + ox), load(ox * 2));
    } else {
      // Pairs of pairs: the even pair sums and the odd ones, added.
      const __m128 low = _mm_castsi128_ps(load(ox * 4));
      const __m128 high = _mm_castsi128_ps(load(ox * 4 + 8));
      const __m128i even = _mm_castps_si128(_mm_shuffle_ps(low, high, _MM_SHUFFLE(2, 0, 2, 0)));
      const __m128i odd = _mm_castps_si128(_mm_shuffle_ps(low, high, _MM_SHUFFLE(3, 1, 3, 1)));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + ox), _mm_add_epi32(even, odd));
    }
  }
#endif
  for (; ox < outWidth_; ++ox) {
    uint32_t sum = 0;
    for (int i = 0; i < group; ++i) sum += q[ox * group + i];
    out[ox] = sum;
  }
}

void PreviewCapture::reduceLine(int y) {
  // Along x: the line's sums for each preview pixel, plane by plane.
  const size_t stride = static_cast<size_t>(width_) + 1;
  const auto outWidth = static_cast<size_t>(outWidth_);
  for (size_t c = 0; c < static_cast<size_t>(planes_); ++c) {
    const uint16_t* q = quantized_.data() + c * stride;
    uint32_t* out = lineSums_.data() + c * outWidth;
    if (pixelsPerColumn_ == 2 || pixelsPerColumn_ == 4) {
      sumPixelGroups(q, out);
      continue;
    }
    // From the running sums of the line, so that a preview pixel costs the
    // same however many frame pixels it covers.
    uint32_t* running = running_.data();
    uint32_t total = 0;
    running[0] = 0;
    for (size_t x = 0; x + 1 < stride; ++x) running[x + 1] = total += q[x];
    const auto fullWeight = static_cast<uint32_t>(outWidth_);
    for (const Column& column : columns_) {
      const int last = column.first + column.middle + 1;  // the padding byte at most
      *out++ = column.firstWeight * q[column.first] +
               fullWeight * (running[last] - running[column.first + 1]) +
               column.lastWeight * q[last];
    }
  }
  // Along y: the line adds to one preview row, or to two when a row boundary
  // falls inside it.
  const int64_t start = static_cast<int64_t>(y) * outHeight_;
  const int64_t end = start + outHeight_;
  const int row = static_cast<int>(start / height_);
  const int64_t boundary = static_cast<int64_t>(row + 1) * height_;
  if (end <= boundary) {
    addToRow(row, static_cast<uint32_t>(outHeight_));
  } else {
    addToRow(row, static_cast<uint32_t>(boundary - start));
    addToRow(row + 1, static_cast<uint32_t>(end - boundary));
  }
}

void PreviewCapture::addToRow(int row, uint32_t weight) {
  const auto index = static_cast<size_t>(row);
  const size_t count = lineSums_.size();
  std::unique_ptr<double[]>& sums = rows_[index];
  if (!sums) {
    // Rows are taken while their lines come in and given back when the last
    // one came: with lines in order, two at a time.
    if (!spareRows_.empty()) {
      sums = std::move(spareRows_.back());
      spareRows_.pop_back();
      std::fill(sums.get(), sums.get() + count, 0.0);
    } else {
      sums = std::make_unique<double[]>(count);  // zeroed
    }
  }
  // Whole numbers below 2^52 (4095 x width x height): exact in a double,
  // whose sums the compilers also turn into vector code.
  double* acc = sums.get();
  const uint32_t* line = lineSums_.data();
  const double factor = static_cast<double>(weight) * lineScale_;
  for (size_t i = 0; i < count; ++i) acc[i] += static_cast<double>(line[i]) * factor;
  received_[index] += weight;
  if (received_[index] == static_cast<uint64_t>(height_)) {
    finishRow(row);
    spareRows_.push_back(std::move(sums));
  }
}

// The row's average: its sums over the frame area of a preview pixel,
// `width * height` units, rounded half up. Lines never added count as black.
void PreviewCapture::finishRow(int row) noexcept {
  const double area = static_cast<double>(width_) * static_cast<double>(height_);
  const double half = std::floor(area / 2);
  const double inverse = 1.0 / area;
  // The quotient through the reciprocal may be one off; the remainder,
  // exact in whole numbers, corrects it.
  const auto divide = [&](double dividend) {
    auto quotient = static_cast<int>(dividend * inverse);
    const double remainder = dividend - quotient * area;
    return quotient + static_cast<int>(remainder >= area) - static_cast<int>(remainder < 0.0);
  };
  const auto outWidth = static_cast<size_t>(outWidth_);
  const double* acc = rows_[static_cast<size_t>(row)].get();
  uint16_t* levels = rowLevels_.data();
  if (planes_ == 6) {
    // A channel's part up to 1 and its part above, each rounded alone,
    // would be up to half a coarse step off, much in a dark average with a
    // speck of highlight: the two are rounded as one value. The part above
    // 1's whole steps first, its remainder (below `area`) then with the
    // rest, so every sum stays exact. Stored as the parts again, the one
    // above 1 as small as it can be.
    const auto steps = static_cast<uint32_t>(levels_);
    const uint32_t coarse = 1u << aboveShift_;
    for (size_t i = 0; i < outWidth * 3; ++i) {
      const double above = acc[i + outWidth * 3];
      const int whole = divide(above);
      const double rest = above - whole * area;
      const uint32_t value = static_cast<uint32_t>(whole) * coarse +
                             static_cast<uint32_t>(divide(acc[i] + rest * coarse + half));
      const uint32_t high = value > steps ? (value - steps + coarse - 1) >> aboveShift_ : 0;
      levels[i] = static_cast<uint16_t>(value - (high << aboveShift_));
      levels[i + outWidth * 3] = static_cast<uint16_t>(high);
    }
  } else {
    for (size_t i = 0; i < outWidth * 3; ++i)
      levels[i] = static_cast<uint16_t>(divide(acc[i] + half));
  }
  emit(levels, outWidth, outWidth, rgb_.data() + static_cast<size_t>(row) * outWidth * 3);
}

void PreviewCapture::emit(const uint16_t* levels, size_t stride, size_t count,
                          uint8_t* out) const noexcept {
  const uint16_t* red = levels;
  const uint16_t* green = levels + stride;
  const uint16_t* blue = levels + 2 * stride;
  if (planes_ == 6) {
    emitAboveWhite(levels, stride, count, out);
    return;
  }
  if (perPixel_.convert != nullptr) {
    const float scale = 1.0f / static_cast<float>(levels_);
    for (size_t x = 0; x < count; ++x) {
      float in[3] = {red[x] * scale, green[x] * scale, blue[x] * scale};
      convertPixel(perPixel_, in, out + 3 * x);
    }
    return;
  }
  if (!tables_.empty()) {
    const size_t entries = tableEntries();
    const uint8_t* r = tables_.data();
    const uint8_t* g = r + entries;
    const uint8_t* b = g + entries;
    for (size_t x = 0; x < count; ++x) {
      out[3 * x] = r[red[x]];
      out[3 * x + 1] = g[green[x]];
      out[3 * x + 2] = b[blue[x]];
    }
    return;
  }
  for (size_t x = 0; x < count; ++x) {
    out[3 * x] = static_cast<uint8_t>(red[x]);
    out[3 * x + 1] = static_cast<uint8_t>(green[x]);
    out[3 * x + 2] = static_cast<uint8_t>(blue[x]);
  }
}

// A channel's value in steps of 1 / levels_ is its part up to white and its
// part above, whose steps are 2^aboveShift_ as large.
void PreviewCapture::emitAboveWhite(const uint16_t* levels, size_t stride, size_t count,
                                    uint8_t* out) const noexcept {
  const auto steps = static_cast<uint32_t>(levels_);
  const uint32_t half = (1u << aboveShift_) >> 1;
  const float scale = 1.0f / static_cast<float>(levels_);
  const size_t entries = tableEntries();
  for (size_t x = 0; x < count; ++x) {
    uint32_t value[3];
    for (size_t c = 0; c < 3; ++c)
      value[c] = levels[c * stride + x] + (uint32_t{levels[(c + 3) * stride + x]} << aboveShift_);
    if (perPixel_.convert != nullptr) {
      float in[3] = {static_cast<float>(value[0]) * scale, static_cast<float>(value[1]) * scale,
                     static_cast<float>(value[2]) * scale};
      convertPixel(perPixel_, in, out + 3 * x);
      continue;
    }
    // Up to white, the table's step of each value; above it, the nearest of
    // its coarser steps.
    for (size_t c = 0; c < 3; ++c) {
      const uint32_t v = value[c];
      const uint32_t entry = v <= steps ? v : steps + ((v - steps + half) >> aboveShift_);
      out[3 * x + c] = tables_[c * entries + entry];
    }
  }
}

PreviewPixels PreviewCapture::finish() {
  PreviewCapture done(std::move(*this));
  *this = PreviewCapture(0, 0);
  if (done.failed_) throw std::bad_alloc();
  for (size_t row = 0; row < done.rows_.size(); ++row) {
    if (done.rows_[row]) done.finishRow(static_cast<int>(row));
  }
  PreviewPixels pixels;
  pixels.width = done.outWidth_;
  pixels.height = done.outHeight_;
  pixels.rgb = std::move(done.rgb_);
  return pixels;
}

namespace {

struct CompressorDeleter {
  void operator()(void* handle) const noexcept { tjDestroy(handle); }
};
struct JpegBufferDeleter {
  void operator()(unsigned char* buffer) const noexcept { tjFree(buffer); }
};

[[noreturn]] void throwTurboJpegError(void* handle, const char* what) {
  throw std::runtime_error(std::string("JPEG ") + what + ": " + tjGetErrorStr2(handle));
}

}  // namespace

std::vector<uint8_t> encodePreviewJpeg(const PreviewPixels& pixels) {
  if (pixels.width <= 0 || pixels.height <= 0)
    throw std::runtime_error("JPEG encoding: the preview is empty");
  if (pixels.rgb.size() !=
      static_cast<size_t>(pixels.width) * static_cast<size_t>(pixels.height) * 3)
    throw std::runtime_error("JPEG encoding: the preview's pixels do not match its size");
  const std::unique_ptr<void, CompressorDeleter> compressor(tjInitCompress());
  if (!compressor) throwTurboJpegError(nullptr, "encoder");
  unsigned char* buffer = nullptr;  // TurboJPEG allocates it (tjAlloc)
  unsigned long size = 0;
  const int status =
      tjCompress2(compressor.get(), pixels.rgb.data(), pixels.width, 0, pixels.height, TJPF_RGB,
                  &buffer, &size, TJSAMP_420, kPreviewJpegQuality, 0);
  const std::unique_ptr<unsigned char, JpegBufferDeleter> owned(buffer);
  if (status != 0) throwTurboJpegError(compressor.get(), "encoding");
  return std::vector<uint8_t>(owned.get(), owned.get() + size);
}

}  // namespace pingwell
