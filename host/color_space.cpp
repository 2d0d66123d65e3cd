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

// Cineon's datum likewise: the code values of black and white, the density
// a code value stands for and the film's negative gamma.
struct CineonTable {
  float black;
  float white;
  float densityPerCode;
  float gamma;
};
const CineonTable kCineon{95.0f, 685.0f, 0.002f, 0.6f};
constexpr float kCineonCodes = 1023.0f;

// Linear light of black's code value: the film's base, which linear 0 maps
// to.
float cineonBlackLinear() {
  return std::pow(10.0f, (kCineon.black - kCineon.white) * kCineon.densityPerCode / kCineon.gamma);
}

int outputSpace = HOST_COLOR_SPACE_LINEAR;

int nameToColorSpace(const char* name) {
  if (name == nullptr) return -1;
  if (std::strcmp(name, "Linear") == 0) return HOST_COLOR_SPACE_LINEAR;
  if (std::strcmp(name, "sRGB") == 0) return HOST_COLOR_SPACE_SRGB;
  if (std::strcmp(name, "Cineon") == 0) return HOST_COLOR_SPACE_CINEON;
  return -1;
}

const char* colorSpaceName(int type) {
  if (type != HOST_COLOR_SPACE_TYPE_OUTPUT) return "Linear";
  if (outputSpace == HOST_COLOR_SPACE_SRGB) return "sRGB";
  if (outputSpace == HOST_COLOR_SPACE_CINEON) return "Cineon";
  return "Linear";
}

float srgbToLinear(float encoded) {
  if (encoded <= 0.04045f) return encoded / 12.92f;
  return std::pow((encoded + 0.055f) / 1.055f, 2.4f);
}

float cineonToLinear(float encoded) {
  const float black = cineonBlackLinear();
  const float code = encoded * kCineonCodes;
  const float density = (code - kCineon.white) * kCineon.densityPerCode / kCineon.gamma;
  return (std::pow(10.0f, density) - black) / (1.0f - black);
}

// A conversion works from the datum it is handed: sRGB's or Cineon's, and
// not a number for any other.
void fromLinear(void* lookup, float* in, float* out) {
  for (int c = 0; c < 3; ++c) {
    out[c] = lookup == &kSrgb     ? srgbFromLinear(in[c])
             : lookup == &kCineon ? cineonFromLinear(in[c])
                                  : std::numeric_limits<float>::quiet_NaN();
  }
}

void toLinear(void* lookup, float* in, float* out) {
  for (int c = 0; c < 3; ++c) {
    out[c] = lookup == &kSrgb     ? srgbToLinear(in[c])
             : lookup == &kCineon ? cineonToLinear(in[c])
                                  : std::numeric_limits<float>::quiet_NaN();
  }
}

HostPixelConversionFunc* pixelConversion(int space, int conversion, void** lookup) {
  const void* table = space == HOST_COLOR_SPACE_SRGB     ? static_cast<const void*>(&kSrgb)
                      : space == HOST_COLOR_SPACE_CINEON ? static_cast<const void*>(&kCineon)
                                                         : nullptr;
  if (table == nullptr) return nullptr;
  if (lookup != nullptr) *lookup = const_cast<void*>(table);
  if (conversion == HOST_CONVERSION_FROM_LINEAR) return &fromLinear;
  if (conversion == HOST_CONVERSION_TO_LINEAR) return &toLinear;
  return nullptr;
}

}  // namespace

float srgbFromLinear(float linear) {
  if (linear <= kSrgb.threshold) return linear * 12.92f;
  return 1.055f * std::pow(linear, 1.0f / 2.4f) - 0.055f;
}

float cineonFromLinear(float linear) {
  const float black = cineonBlackLinear();
  const float film = linear * (1.0f - black) + black;
  if (!(film > 0.0f)) return 0.0f;  // below the film's base, or not a number
  const float code = kCineon.white + std::log10(film) * kCineon.gamma / kCineon.densityPerCode;
  return code / kCineonCodes;
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
