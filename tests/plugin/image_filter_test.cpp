// The preview filter's process on a small frame: every output pixel set once,
// bit for bit the input, and the frame's preview handed over; records the
// host fills badly do no harm.
#include "plugin/previews/image_filter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "host/image_filter.h"
#include "host/standin_services.h"
#include "plugin/previews/frame_previews.h"

namespace pingwell {
namespace {

float fromBits(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

uint32_t bitsOf(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// The renderer's side of one filter call: input buffers, lines it withholds,
// and the output the filter writes, with a count of the writes per pixel.
struct Frame {
  static constexpr int kWidth = 3;
  static constexpr int kHeight = 2;
  // Red, green, blue, alpha; a row of kWidth floats per line.
  std::vector<float> input[4] = {
      std::vector<float>(kWidth * kHeight, 0.5f), std::vector<float>(kWidth* kHeight, 0.5f),
      std::vector<float>(kWidth* kHeight, 0.5f), std::vector<float>(kWidth* kHeight, 0.5f)};
  bool withheld[4][kHeight] = {};
  float rgb[kHeight][kWidth][3] = {};
  float alpha[kHeight][kWidth] = {};
  int rgbWrites[kHeight][kWidth] = {};
  int alphaWrites[kHeight][kWidth] = {};

  static Frame* current;
  static float* getLine(int type, int y) {
    const int buffer = type - HOST_BUFFER_RED;
    if (buffer < 0 || buffer > 3 || y < 0 || y >= kHeight || current->withheld[buffer][y])
      return nullptr;
    return current->input[buffer].data() + y * kWidth;
  }
  static void setRGB(int x, int y, const float value[3]) {
    std::memcpy(current->rgb[y][x], value, sizeof current->rgb[y][x]);
    ++current->rgbWrites[y][x];
  }
  static void setAlpha(int x, int y, float value) {
    current->alpha[y][x] = value;
    ++current->alphaWrites[y][x];
  }
  HostFilterAccess access() {
    current = this;
    return HostFilterAccess{kWidth, kHeight, 12, 0.5, 0.54, getLine, setRGB, setAlpha, nullptr};
  }
};
Frame* Frame::current = nullptr;

TEST(PreviewFilter, PassesEveryPixelThroughBitForBitAndOffersTheFramesPreview) {
  const float nan = fromBits(0x7FC12345u);  // a payload the copy must keep
  const float inf = std::numeric_limits<float>::infinity();
  Frame frame;
  frame.input[0] = {0.25f, -0.0f, nan, 7.5f, 1.0f, -2.0f};
  frame.input[1] = {1e-40f, 0.5f, inf, 0.0f, 0.2f, 1.0f};
  frame.input[2] = {-inf, 0.75f, 1.0f, 0.1f, 0.3f, 0.4f};
  frame.input[3] = {1.0f, 0.5f, 0.0f, nan, 2.0f, -1.0f};
  frame.withheld[1][1] = true;  // green of line 1
  frame.withheld[3][0] = true;  // alpha of line 0
  const HostFilterAccess access = frame.access();
  FramePreviews::instance().newRender();
  previewFilterProcess(nullptr, &access);

  for (int y = 0; y < Frame::kHeight; ++y) {
    for (int x = 0; x < Frame::kWidth; ++x) {
      SCOPED_TRACE(::testing::Message() << x << ", " << y);
      EXPECT_EQ(frame.rgbWrites[y][x], 1);
      EXPECT_EQ(frame.alphaWrites[y][x], 1);
      for (int c = 0; c < 3; ++c) {
        const float in = frame.withheld[c][y] ? 0.0f : frame.input[c][y * Frame::kWidth + x];
        EXPECT_EQ(bitsOf(frame.rgb[y][x][c]), bitsOf(in)) << "channel " << c;
      }
      const float alpha = frame.withheld[3][y] ? 0.0f : frame.input[3][y * Frame::kWidth + x];
      EXPECT_EQ(bitsOf(frame.alpha[y][x]), bitsOf(alpha));
    }
  }

  const auto preview = FramePreviews::instance().latest();
  ASSERT_NE(preview, nullptr);
  EXPECT_EQ(preview->frame, 12);
  ASSERT_EQ(preview->pixels.width, 3);
  ASSERT_EQ(preview->pixels.height, 2);
  EXPECT_EQ(preview->pixels.rgb, (std::vector<uint8_t>{64, 0, 0, 0, 128, 191, 0, 255, 255, 255, 0,
                                                       26, 255, 0, 77, 0, 0, 102}));
  FramePreviews::instance().newRender();
}

// The host stand-in's rendered frame, its grey card a flat linear 0.2, with
// the host's output color space: sRGB previews the card as the saved file
// has it (124), linear and a host without color spaces as before (51); the
// frame passes through bit for bit either way, kept at its size or reduced.
TEST(PreviewFilter, PreviewsInTheHostsOutputColorSpaceAndPassesTheFrameThroughUnchanged) {
  using pingwell_host::StandInServices;
  StandInServices::get().reset();
  void* filter = previewFilterCreate(reinterpret_cast<void*>(&StandInServices::lookup), nullptr,
                                     nullptr);
  ASSERT_NE(filter, nullptr);
  const auto cardOf = [](void* instance, int width, int height) {
    pingwell_host::FilterFrame frame({width, height}, 7, 0.2, 0.2);
    frame.process(previewFilterProcess, instance);
    EXPECT_EQ(frame.check(), "");
    const auto preview = FramePreviews::instance().latest();
    if (preview == nullptr) return -1;
    const PreviewPixels& pixels = preview->pixels;
    const size_t x = static_cast<size_t>(pixels.width) * 12 / 100;
    const size_t y = static_cast<size_t>(pixels.height) * 83 / 100;
    const uint8_t* pixel = &pixels.rgb[(y * static_cast<size_t>(pixels.width) + x) * 3];
    EXPECT_TRUE(pixel[0] == pixel[1] && pixel[1] == pixel[2]);
    return static_cast<int>(pixel[0]);
  };
  StandInServices::get().setOutputColorSpace(HOST_COLOR_SPACE_SRGB);
  EXPECT_EQ(cardOf(filter, 640, 360), 124);
  EXPECT_EQ(cardOf(filter, 2400, 1350), 124);  // reduced to 1920 x 1080
  EXPECT_EQ(cardOf(nullptr, 640, 360), 51);    // an instance without the lookup
  StandInServices::get().setOutputColorSpace(HOST_COLOR_SPACE_LINEAR);
  EXPECT_EQ(cardOf(filter, 640, 360), 51);
  StandInServices::get().setOutputColorSpace(std::nullopt);
  EXPECT_EQ(cardOf(filter, 640, 360), 51);
  previewFilterDestroy(filter);
  StandInServices::get().reset();
  FramePreviews::instance().newRender();
}

TEST(PreviewFilter, RecordsWithNothingToFilterOrWithoutFunctionsDoNoHarm) {
  previewFilterProcess(nullptr, nullptr);
  Frame frame;
  for (const auto& size : {std::pair{0, 2}, std::pair{3, 0}, std::pair{-1, -1}}) {
    HostFilterAccess access = frame.access();
    access.width = size.first;
    access.height = size.second;
    previewFilterProcess(nullptr, &access);
  }
  // No lines to read: every pixel is written black and transparent.
  HostFilterAccess access = frame.access();
  access.getLine = nullptr;
  std::memset(frame.rgb, 0xFF, sizeof frame.rgb);
  std::memset(frame.alpha, 0xFF, sizeof frame.alpha);
  previewFilterProcess(nullptr, &access);
  for (int y = 0; y < Frame::kHeight; ++y) {
    for (int x = 0; x < Frame::kWidth; ++x) {
      EXPECT_EQ(frame.rgbWrites[y][x], 1);
      EXPECT_EQ(bitsOf(frame.rgb[y][x][0]) | bitsOf(frame.rgb[y][x][1]) |
                    bitsOf(frame.rgb[y][x][2]) | bitsOf(frame.alpha[y][x]),
                0u);
    }
  }
  access = frame.access();
  access.setRGB = nullptr;
  access.setAlpha = nullptr;
  previewFilterProcess(nullptr, &access);
  EXPECT_EQ(frame.rgbWrites[0][0], 1);

  // The instances: counted while they live, nothing to save.
  EXPECT_FALSE(FramePreviews::instance().filterApplied());
  void* instance = previewFilterCreate(nullptr, nullptr, nullptr);
  ASSERT_NE(instance, nullptr);
  EXPECT_TRUE(FramePreviews::instance().filterApplied());
  EXPECT_STREQ(previewFilterDescribe(instance), "voro2 pingwell preview");
  EXPECT_EQ(previewFilterFlags(instance), 0u);
  EXPECT_EQ(previewFilterSave(instance, nullptr), nullptr);
  EXPECT_EQ(previewFilterLoad(instance, nullptr), nullptr);
  EXPECT_EQ(previewFilterCopy(instance, instance), nullptr);
  previewFilterDestroy(nullptr);
  EXPECT_TRUE(FramePreviews::instance().filterApplied());
  previewFilterDestroy(instance);
  EXPECT_FALSE(FramePreviews::instance().filterApplied());
  FramePreviews::instance().newRender();
}

}  // namespace
}  // namespace pingwell
