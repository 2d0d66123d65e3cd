#include "color_space.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace pingwell_host {

namespace {

// The datum getPixelConversionRGB hands out with sRGB's conversions; they
// give not-a-number for any other, as a conversion called with the wrong
// table would give garbage.
struct SrgbTable {
  float threshold;  // below it, in linear light, the straight part
};
const SrgbTable kSrgb{0.0031308f};

int outputSpace = HOST_COLOR_SPACE_LINEAR;

int nameToColorSpace(const char* name) {
  if (name == nullptr) return -1;
  if (std::strcmp(name, "Linear") == 0) return HOST_COLOR_SPACE_LINEAR;
  if (std::strcmp(name, "sRGB") == 0) return HOST_COLOR_SPACE_SRGB;
  return -1;
}

const char* colorSpaceName(int type) {
  if (type == HOST_COLOR_SPACE_TYPE_OUTPUT && outputSpace == HOST_COLOR_SPACE_SRGB) return "sRGB";
  return "Linear";
}

float srgbToLinear(float encoded) {
  if (encoded <= 0.04045f) return encoded / 12.92f;
  return std::pow((encoded + 0.055f) / 1.055f, 2.4f);
}

void fromLinear(void* lookup, float* in, float* out) {
  const bool known = lookup == &kSrgb;
  for (int c = 0; c < 3; ++c)
    out[c] = known ? srgbFromLinear(in[c]) : std::numeric_limits<float>::quiet_NaN();
}

void toLinear(void* lookup, float* in, float* out) {
  const bool known = lookup == &kSrgb;
  for (int c = 0; c < 3; ++c)
    out[c] = known ? srgbToLinear(in[c]) : std::numeric_limits<float>::quiet_NaN();
}

HostPixelConversionFunc* pixelConversion(int space, int conversion, void** lookup) {
  if (space != HOST_COLOR_SPACE_SRGB) return nullptr;
  if (lookup != nullptr) *lookup = const_cast<SrgbTable*>(&kSrgb);
  if (conversion == HOST_CONVERSION_FROM_LINEAR) return &fromLinear;
  if (conversion == HOST_CONVERSION_TO_LINEAR) return &toLinear;
  return nullptr;
}

}  // namespace

float srgbFromLinear(float linear) {
  if (linear <= kSrgb.threshold) return linear * 12.92f;
  return 1.055f * std::pow(linear, 1.0f / 2.4f) - 0.055f;
}

HostColorSpaceFuncs* colorSpaceRecord() {
  static HostColorSpaceFuncs record = [] {
    HostColorSpaceFuncs funcs{};
    funcs.nameToColorSpace = &nameToColorSpace;
    funcs.getPixelConversionRGB = &pixelConversion;
    funcs.colorSpaceName = &colorSpaceName;
    return funcs;
  }();
  return &record;
}

void setOutputColorSpace(int space) { outputSpace = space; }

}  // namespace pingwell_host
