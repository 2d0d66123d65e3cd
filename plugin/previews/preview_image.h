#pragma once
// A rendered frame reduced to the preview the channel shows: 8-bit RGB, its
// longer side at most kPreviewLongestSide, then encoded as a JPEG. Free of
// I/O and of the host, so it can be tested, fuzzed and measured on its own.
#include <cstdint>
#include <memory>
#include <vector>

namespace pingwell {

inline constexpr int kPreviewLongestSide = 1920;
inline constexpr int kPreviewJpegQuality = 85;
// A frame with a longer side (no renderer makes one) gives an empty preview:
// up to it, a capture's memory stays bounded and no sum can overflow (a
// line's sum of levels is at most 4095 x 2^20, below 2^32).
inline constexpr int kPreviewMaxFrameSide = 1 << 20;

// The conversion from linear light to the color space the saved frame is
// in: a function of one pixel's red, green and blue with its datum, as the
// host gives it.
struct PreviewConversion {
  void (*convert)(void* lookup, float* in, float* out) = nullptr;
  void* lookup = nullptr;
  // Each channel's result depends on that channel alone, so a table per
  // channel, built from the function, stands in for it.
  bool channelsIndependent = true;
};

// 8-bit RGB pixels, three bytes a pixel, rows top to bottom, no padding.
struct PreviewPixels {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;
};

// Collects one frame, line by line in any order, into its preview. Each of
// red, green and blue is clamped to 0..1 (not-a-number as 0) and scaled to
// 8 bits as an 8-bit image saver would; the frame is reduced by area
// averaging so that its longer side is at most kPreviewLongestSide (never
// enlarged). A line never added counts as black (as the conversion, if
// any, has linear 0).
//
// With a conversion the values are clamped the same way but kept in
// kConvertedLevels steps, averaged in linear light, and only then converted
// and clamped into 8 bits: through a table per channel built from the
// conversion (kConvertedLevels + 1 calls), or, for a conversion that mixes
// the channels, one call per preview pixel. A conversion whose white lies
// above linear 1 (a logarithmic space such as Cineon encodes highlights well
// above it) gets the values above 1 as well: each channel keeps, beside its
// part up to 1, its part above 1 up to 1 + N, N the first power of two up
// to kMaxAboveWhite at which every channel converts to white, in
// kConvertedLevels steps of its own, averaged the same way; its table has
// kConvertedLevels entries more. Linear 1 converting to white (sRGB, Rec.
// 709) keeps nothing above 1. The conversion is called only from the
// constructor, addLine and finish.
//
// Memory: the preview itself, a line of the frame in levels, a bit per line
// and, while the frame is reduced, the sums of the preview rows whose lines
// have not all come yet (two rows when lines come in order, every row at
// worst); twice the levels and sums when the part above 1 is kept. Time:
// linear in the frame's pixels.
class PreviewCapture {
 public:
  // A frame of `width` x `height` pixels; either at most 0 (or more than
  // kPreviewMaxFrameSide) makes an empty capture whose finish() gives an
  // empty preview. Throws std::bad_alloc.
  PreviewCapture(int width, int height, const PreviewConversion* conversion = nullptr);

  // The linear steps kept for a conversion: 12 bits, fine enough that the
  // darkest steps of an sRGB preview are no coarser than its 8 bits.
  static constexpr int kConvertedLevels = 4095;
  // How far above linear 1 a conversion's white is looked for: 1 + 64.
  static constexpr int kMaxAboveWhite = 64;

  // Line `y` (0 the top) of the frame: `width` floats of each channel; a
  // null channel counts as 0. A `y` outside the frame is ignored, and so is
  // a line added again (the first one counts).
  void addLine(int y, const float* red, const float* green, const float* blue) noexcept;

  // The preview; the capture is empty afterwards. Throws std::bad_alloc when
  // memory ran out while a line was added.
  PreviewPixels finish();

  int previewWidth() const noexcept;
  int previewHeight() const noexcept;

 private:
  // The frame pixels of one preview column, in units of 1 / (width *
  // previewWidth) of the frame's width: `first` counts `firstWeight`, the
  // `middle` pixels after it previewWidth each, the one after those
  // `lastWeight` (0: outside the column).
  struct Column {
    int first = 0;
    int middle = 0;
    uint32_t firstWeight = 0;
    uint32_t lastWeight = 0;
  };

  // The constructor's steps: the levels, planes and table of a conversion,
  // and the columns and rows of a reduction.
  void useConversion(const PreviewConversion& conversion);
  void planReduction();
  void fillWithBlack() noexcept;
  size_t tableEntries() const noexcept;  // per channel

  void reduceLine(int y);
  void sumPixelGroups(const uint16_t* q, uint32_t* out) const noexcept;
  void addToRow(int row, uint32_t weight);
  void finishRow(int row) noexcept;
  // `count` pixels from planes of levels (`stride` apart: red, green, blue,
  // then their parts above 1 when kept) into 8-bit RGB at `out`.
  void emit(const uint16_t* levels, size_t stride, size_t count, uint8_t* out) const noexcept;
  void emitAboveWhite(const uint16_t* levels, size_t stride, size_t count,
                      uint8_t* out) const noexcept;

  int width_ = 0;
  int height_ = 0;
  int outWidth_ = 0;
  int outHeight_ = 0;
  bool failed_ = false;              // memory ran out in addLine
  int levels_ = 255;                 // a channel's steps from 0 to 1
  int planes_ = 3;                   // 6: the parts above 1 kept too
  int aboveShift_ = 0;               // a step above 1 is 2^aboveShift_ / levels_
  std::vector<uint8_t> tables_;      // per channel, tableEntries(): the converted 8 bits
  PreviewConversion perPixel_;       // a conversion that mixes the channels
  std::vector<uint8_t> rgb_;         // the preview
  std::vector<bool> seen_;           // the frame lines added
  std::vector<uint16_t> quantized_;  // one frame line in levels: each plane, padded
  std::vector<uint16_t> rowLevels_;  // one preview row in levels: each plane
  // Reduction only (all empty when the preview is the frame's size).
  int pixelsPerColumn_ = 0;         // 2 or 4 when the frame is that many times as wide, else 0
  std::vector<Column> columns_;     // otherwise
  double lineScale_ = 1.0;          // the units of a line sum
  std::vector<uint32_t> running_;   // running sums of one channel of the line
  std::vector<uint32_t> lineSums_;  // a line's sums: each plane's preview pixels
  std::vector<std::unique_ptr<double[]>> rows_;  // sums of unfinished rows, as lineSums_
  std::vector<std::unique_ptr<double[]>> spareRows_;
  std::vector<uint64_t> received_;  // the weight of lines each row has had
};

// The preview as a JPEG: quality kPreviewJpegQuality, 4:2:0 chroma
// subsampling. Throws std::runtime_error when it cannot be encoded (an
// empty preview among them), std::bad_alloc when out of memory.
std::vector<uint8_t> encodePreviewJpeg(const PreviewPixels& pixels);

}  // namespace pingwell
