// The frame's preview: its size, the 8-bit values and area averages of its
// pixels, lines missing or out of order, and the JPEG it is encoded as.
#include "plugin/previews/preview_image.h"

#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <memory>
#include <stdexcept>
#include <vector>

#include "host/color_space.h"

namespace pingwell {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// The preview's byte of channel `c` at (x, y).
int at(const PreviewPixels& pixels, int x, int y, int c) {
  return pixels
      .rgb[(static_cast<size_t>(y) * static_cast<size_t>(pixels.width) + static_cast<size_t>(x)) *
               3 +
           static_cast<size_t>(c)];
}

// A frame whose every line is `values` in all three channels.
PreviewPixels captureRepeated(int width, int height, const std::vector<float>& values,
                              const PreviewConversion* conversion = nullptr) {
  std::vector<float> line(static_cast<size_t>(width));
  for (size_t x = 0; x < line.size(); ++x) line[x] = values[x % values.size()];
  PreviewCapture capture(width, height, conversion);
  for (int y = 0; y < height; ++y) capture.addLine(y, line.data(), line.data(), line.data());
  return capture.finish();
}

TEST(PreviewCapture, LongerSideBecomesAtMost1920KeepingTheAspectAndIsNeverEnlarged) {
  struct Case {
    int width, height, previewWidth, previewHeight;
  };
  const Case cases[] = {
      {1920, 1080, 1920, 1080},
      {3840, 2160, 1920, 1080},
      {7680, 4320, 1920, 1080},
      {4096, 2160, 1920, 1013},  // 1012.5 rounds up
      {2160, 3840, 1080, 1920},
      {1921, 1, 1920, 1},
      {1, 5000, 1, 1920},
      {5000, 1, 1920, 1},  // the short side keeps at least one pixel
      {1919, 1917, 1919, 1917},
      {3, 1, 3, 1},
      {1048576, 1, 1920, 1},
      {0, 10, 0, 0},
      {10, 0, 0, 0},
      {-5, 10, 0, 0},
      {1048577, 1, 0, 0},  // beyond any renderer: no preview
      {INT_MAX, INT_MAX, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height);
    PreviewCapture capture(c.width, c.height);
    EXPECT_EQ(capture.previewWidth(), c.previewWidth);
    EXPECT_EQ(capture.previewHeight(), c.previewHeight);
    // No line added: a black preview of that size.
    const PreviewPixels pixels = capture.finish();
    EXPECT_EQ(pixels.width, c.previewWidth);
    EXPECT_EQ(pixels.height, c.previewHeight);
    ASSERT_EQ(pixels.rgb.size(), static_cast<size_t>(c.previewWidth) * c.previewHeight * 3);
    EXPECT_EQ(std::count(pixels.rgb.begin(), pixels.rgb.end(), 0),
              static_cast<std::ptrdiff_t>(pixels.rgb.size()));
    // The capture is empty afterwards.
    EXPECT_EQ(capture.previewWidth(), 0);
    EXPECT_EQ(capture.finish().rgb.size(), 0u);
  }
}

TEST(PreviewCapture, ChannelsAreClampedAndRoundedAsAnEightBitSaverWouldAndMissingLinesAreBlack) {
  const std::vector<float> values = {-1.0f, -0.0f, 0.0f, 0.001f, 0.002f, 0.2f, 0.5f, 0.999f,
                                     1.0f,  1.5f,  7e9f, kInf,   -kInf,  kNaN, -kNaN};
  const std::vector<int> expected = {0, 0, 0, 0, 1, 51, 128, 255, 255, 255, 255, 255, 0, 0, 0};
  const int width = static_cast<int>(values.size());
  std::vector<float> reversed(values.rbegin(), values.rend());
  // Lines out of order; green missing on line 2, line 1 never added.
  PreviewCapture capture(width, 4);
  capture.addLine(3, values.data(), values.data(), values.data());
  capture.addLine(2, reversed.data(), nullptr, values.data());
  capture.addLine(0, values.data(), reversed.data(), values.data());
  capture.addLine(4, values.data(), values.data(), values.data());   // outside: ignored
  capture.addLine(-1, values.data(), values.data(), values.data());  // outside: ignored
  const PreviewPixels pixels = capture.finish();
  ASSERT_EQ(pixels.width, width);
  ASSERT_EQ(pixels.height, 4);
  const int last = width - 1;
  for (int x = 0; x < width; ++x) {
    SCOPED_TRACE(::testing::Message() << "value " << values[static_cast<size_t>(x)]);
    const int value = expected[static_cast<size_t>(x)];
    const int mirrored = expected[static_cast<size_t>(last - x)];
    EXPECT_EQ(at(pixels, x, 0, 0), value);
    EXPECT_EQ(at(pixels, x, 0, 1), mirrored);
    EXPECT_EQ(at(pixels, x, 0, 2), value);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(at(pixels, x, 1, c), 0);
    EXPECT_EQ(at(pixels, x, 2, 0), mirrored);
    EXPECT_EQ(at(pixels, x, 2, 1), 0);
    EXPECT_EQ(at(pixels, x, 2, 2), value);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(at(pixels, x, 3, c), value);
  }
}

TEST(PreviewCapture, EachPreviewPixelIsTheAverageOfTheExactFrameAreaItCovers) {
  // Half as large: each preview pixel averages a 2 x 2 block. Red counts
  // 255, 0, 255, 255 in each block, green 51, 0 in each row (a single 255
  // would round a naive first-pixel pick to 255).
  {
    std::vector<float> top(3840), bottom(3840), green(3840);
    for (size_t x = 0; x < 3840; ++x) {
      top[x] = x % 2 == 0 ? 1.0f : 0.0f;
      bottom[x] = 1.0f;
      green[x] = x % 2 == 0 ? 0.2f : -3.0f;
    }
    PreviewCapture capture(3840, 4);
    ASSERT_EQ(capture.previewHeight(), 2);
    // Row 1: only its upper line (the lower is missing, black), and that
    // line again, which must not count twice.
    capture.addLine(2, bottom.data(), green.data(), nullptr);
    capture.addLine(2, bottom.data(), bottom.data(), bottom.data());
    capture.addLine(1, bottom.data(), green.data(), nullptr);
    capture.addLine(0, top.data(), green.data(), nullptr);
    const PreviewPixels pixels = capture.finish();
    for (int x : {0, 1, 958, 1919}) {
      SCOPED_TRACE(x);
      EXPECT_EQ(at(pixels, x, 0, 0), 191);  // 765 / 4 = 191.25
      EXPECT_EQ(at(pixels, x, 0, 1), 26);   // 102 / 4 = 25.5
      EXPECT_EQ(at(pixels, x, 0, 2), 0);
      EXPECT_EQ(at(pixels, x, 1, 0), 128);  // 510 / 4 = 127.5
      EXPECT_EQ(at(pixels, x, 1, 1), 13);   // 51 / 4 = 12.75
      EXPECT_EQ(at(pixels, x, 1, 2), 0);
    }
  }
  // A quarter as large (7680 x 4 into 1920 x 1): each preview pixel
  // averages 4 x 4 pixels, here 255, 0, 102, 0 in every line: 89.25.
  {
    const PreviewPixels quarter = captureRepeated(7680, 4, {1.0f, 0.0f, 0.4f, 0.0f});
    ASSERT_EQ(quarter.width, 1920);
    ASSERT_EQ(quarter.height, 1);
    for (int x : {0, 1, 1000, 1919}) EXPECT_EQ(at(quarter, x, 0, 1), 89);
  }
  // Two thirds as large, across and down: a preview pixel covers one frame
  // pixel (line) whole and half of the next, so the middle one of each three
  // is split between two preview pixels (rows).
  {
    const std::vector<float> period = {1.0f, 0.0f, 0.4f};  // 255, 0, 102
    const PreviewPixels across = captureRepeated(2880, 1, period);
    ASSERT_EQ(across.width, 1920);
    ASSERT_EQ(across.height, 1);
    for (int x : {0, 2, 1918}) {
      EXPECT_EQ(at(across, x, 0, 0), 170);     // (255 + 0 / 2) / 1.5
      EXPECT_EQ(at(across, x + 1, 0, 2), 68);  // (0 / 2 + 102) / 1.5
    }
    // Down, with the lines in reverse order.
    PreviewCapture capture(1, 2880);
    for (int y = 2879; y >= 0; --y) {
      const float* value = &period[static_cast<size_t>(y % 3)];
      capture.addLine(y, value, value, value);
    }
    const PreviewPixels down = capture.finish();
    ASSERT_EQ(down.width, 1);
    ASSERT_EQ(down.height, 1920);
    for (int y : {0, 2, 1918}) {
      EXPECT_EQ(at(down, 0, y, 1), 170);
      EXPECT_EQ(at(down, 0, y + 1, 1), 68);
    }
  }
  // 1931 x 1 into 1920 x 1: preview pixel 4 is 1876 / 1931 of frame pixel 4
  // (1) and 55 / 1931 of pixel 5 (159), 5.50026, which rounds to 6; with the
  // reciprocal of 1931, which no double holds exactly, the quotient lands just
  // below 6.
  {
    std::vector<float> line(1931, 0.0f);
    line[4] = 1.0f / 255.0f;
    line[5] = 159.0f / 255.0f;
    PreviewCapture capture(1931, 1);
    capture.addLine(0, line.data(), line.data(), line.data());
    const PreviewPixels pixels = capture.finish();
    ASSERT_EQ(pixels.width, 1920);
    EXPECT_EQ(at(pixels, 4, 0, 0), 6);
    EXPECT_EQ(at(pixels, 3, 0, 0), 0);
    EXPECT_EQ(at(pixels, 5, 0, 0), 154);  // 1865 / 1931 of 159: 153.6
  }
  // 4096 x 2160 into 1920 x 1013: no common divisor with the frame's width
  // to hide a lost or doubled weight; a flat frame stays flat to the edges.
  {
    const PreviewPixels flat = captureRepeated(4096, 2160, {0.6f});  // 153
    ASSERT_EQ(flat.width, 1920);
    ASSERT_EQ(flat.height, 1013);
    EXPECT_EQ(std::count(flat.rgb.begin(), flat.rgb.end(), 153),
              static_cast<std::ptrdiff_t>(flat.rgb.size()));
  }
}

struct TurboJpegDeleter {
  void operator()(void* handle) const { tjDestroy(handle); }
};

// Converted to sRGB with the host's own function, by tables and pixel by
// pixel: averaged in linear light before the conversion (black and white
// make 188, not 128), and the darkest linear values keep their steps (0.001
// is 3, not the 0 of 8 linear bits). Converted to Cineon, whose white lies
// far above linear 1 (which is 171), what is brighter than 1 stays brighter
// in the preview, kept or averaged.
TEST(PreviewCapture, WithAConversionAveragesInLinearLightThenConvertsKeepingTheDarkSteps) {
  PreviewConversion conversion;
  conversion.convert = pingwell_host::colorSpaceRecord()->getPixelConversionRGB(
      HOST_COLOR_SPACE_SRGB, HOST_CONVERSION_FROM_LINEAR, &conversion.lookup);
  ASSERT_NE(conversion.convert, nullptr);
  PreviewConversion cineon;
  cineon.convert = pingwell_host::colorSpaceRecord()->getPixelConversionRGB(
      HOST_COLOR_SPACE_CINEON, HOST_CONVERSION_FROM_LINEAR, &cineon.lookup);
  ASSERT_NE(cineon.convert, nullptr);
  for (const bool tables : {true, false}) {
    SCOPED_TRACE(tables ? "tables" : "pixel by pixel");
    conversion.channelsIndependent = tables;
    cineon.channelsIndependent = tables;
    const PreviewPixels log =
        captureRepeated(8, 1, {0.0f, 1.0f, 2.0f, 8.0f, 100.0f, kInf, kNaN, -1.0f}, &cineon);
    const std::vector<int> logExpected = {24, 171, 193, 238, 255, 255, 24, 24};
    for (int x = 0; x < 8; ++x) EXPECT_EQ(at(log, x, 0, 1), logExpected[static_cast<size_t>(x)]);
    // Halved: 1 and 4 average to 2.5; black and 16 to 8.
    EXPECT_EQ(at(captureRepeated(3840, 2, {1.0f, 4.0f}, &cineon), 1919, 0, 0), 200);
    EXPECT_EQ(at(captureRepeated(3840, 2, {0.0f, 16.0f}, &cineon), 7, 0, 2), 238);
    const PreviewPixels reduced = captureRepeated(3840, 4, {0.0f, 1.0f}, &conversion);
    ASSERT_EQ(reduced.width, 1920);
    EXPECT_EQ(at(reduced, 0, 0, 0), 188);
    EXPECT_EQ(at(reduced, 1919, 1, 2), 188);
    const PreviewPixels kept =
        captureRepeated(5, 1, {0.2f, 0.001f, 0.0f, 1.0f, kNaN}, &conversion);
    EXPECT_EQ(kept.rgb, (std::vector<uint8_t>{124, 124, 124, 3, 3, 3, 0, 0, 0, 255, 255, 255, 0,
                                              0, 0}));
  }
  EXPECT_EQ(at(captureRepeated(5, 1, {0.001f}), 0, 0, 0), 0);
}

TEST(PreviewJpeg, EncodesAtFourTwoTwoZeroAndDecodesBackToThePreview) {
  // Odd sizes, red on the left half, blue on the right.
  PreviewPixels pixels;
  pixels.width = 33;
  pixels.height = 17;
  for (int y = 0; y < pixels.height; ++y) {
    for (int x = 0; x < pixels.width; ++x) {
      const bool left = x < 16;
      pixels.rgb.insert(pixels.rgb.end(), {static_cast<uint8_t>(left ? 250 : 0), 0,
                                           static_cast<uint8_t>(left ? 0 : 250)});
    }
  }
  const std::vector<uint8_t> jpeg = encodePreviewJpeg(pixels);
  ASSERT_GE(jpeg.size(), 4u);
  EXPECT_EQ(jpeg[0], 0xFF);
  EXPECT_EQ(jpeg[1], 0xD8);
  const std::unique_ptr<void, TurboJpegDeleter> decoder(tjInitDecompress());
  ASSERT_TRUE(decoder);
  int width = 0, height = 0, subsampling = -1, colorspace = -1;
  ASSERT_EQ(tjDecompressHeader3(decoder.get(), jpeg.data(), static_cast<unsigned long>(jpeg.size()),
                                &width, &height, &subsampling, &colorspace),
            0)
      << tjGetErrorStr2(decoder.get());
  EXPECT_EQ(width, 33);
  EXPECT_EQ(height, 17);
  EXPECT_EQ(subsampling, TJSAMP_420);
  std::vector<uint8_t> decoded(pixels.rgb.size());
  ASSERT_EQ(tjDecompress2(decoder.get(), jpeg.data(), static_cast<unsigned long>(jpeg.size()),
                          decoded.data(), width, 0, height, TJPF_RGB, 0),
            0);
  // Away from the edge between them (chroma is shared by 2 x 2 pixels), the
  // colours are where they were: no channel order swapped.
  for (int y : {0, 8, 16}) {
    for (int x : {0, 10, 22, 32}) {
      SCOPED_TRACE(::testing::Message() << x << ", " << y);
      const size_t i = (static_cast<size_t>(y) * 33 + static_cast<size_t>(x)) * 3;
      for (size_t c = 0; c < 3; ++c) EXPECT_NEAR(decoded[i + c], pixels.rgb[i + c], 12);
    }
  }

  // An empty preview, or pixels that do not match the size, cannot be encoded.
  EXPECT_THROW(encodePreviewJpeg(PreviewPixels{}), std::runtime_error);
  pixels.rgb.pop_back();
  EXPECT_THROW(encodePreviewJpeg(pixels), std::runtime_error);
}

}  // namespace
}  // namespace pingwell
