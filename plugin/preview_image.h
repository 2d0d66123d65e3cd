#pragma once
// A rendered frame reduced to the preview the channel shows: 8-bit RGB, its
// longer side at most kPreviewLongestSide, then encoded as a JPEG. Free of
// I/O and of the host, so it can be tested, fuzzed and measured on its own.
#include <cstdint>
#include <vector>

namespace pingwell {

inline constexpr int kPreviewLongestSide = 1920;
inline constexpr int kPreviewJpegQuality = 85;

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
// enlarged). A line never added counts as black.
class PreviewCapture {
 public:
  // A frame of `width` x `height` pixels; either at most 0 makes an empty
  // capture whose finish() gives an empty preview.
  PreviewCapture(int width, int height);

  // Line `y` (0 the top) of the frame: `width` floats of each channel; a
  // null channel counts as 0. A `y` outside the frame is ignored.
  void addLine(int y, const float* red, const float* green, const float* blue) noexcept;

  // The preview; the capture is empty afterwards.
  PreviewPixels finish();

  int previewWidth() const noexcept;
  int previewHeight() const noexcept;
};

// The preview as a JPEG: quality kPreviewJpegQuality, 4:2:0 chroma
// subsampling. Throws std::runtime_error when it cannot be encoded (an
// empty preview among them), std::bad_alloc when out of memory.
std::vector<uint8_t> encodePreviewJpeg(const PreviewPixels& pixels);

}  // namespace pingwell
