// The host's color-space service ("LWColorSpace"): the color space it saves
// rendered frames in, Linear, sRGB or Cineon, with sRGB's transfer function
// or Cineon's logarithmic encoding as the conversion from linear light.
#ifndef PINGWELL_HOST_COLOR_SPACE_H
#define PINGWELL_HOST_COLOR_SPACE_H

#include "plugin/host_api/host_interface.h"

namespace pingwell_host {

// The record, process-wide as the module expects. colorSpaceName gives the
// output color space's name for HOST_COLOR_SPACE_TYPE_OUTPUT and "Linear"
// for every other type; nameToColorSpace knows "Linear", "sRGB" and
// "Cineon" (-1 for any other name); getPixelConversionRGB gives sRGB's and
// Cineon's conversions (either way) and NULL for any other space. The
// members the module never calls are NULL.
HostColorSpaceFuncs* colorSpaceRecord();

// The output color space colorSpaceName reports: HOST_COLOR_SPACE_LINEAR
// (how the host starts), HOST_COLOR_SPACE_SRGB or HOST_COLOR_SPACE_CINEON.
void setOutputColorSpace(int space);

// sRGB's transfer function from linear light, on one value.
float srgbFromLinear(float linear);

// Cineon's encoding from linear light, on one value: the film's printing
// density in code values of 0 to 1023 (black 95, white 685, 0.002 density a
// code value, negative gamma 0.6), as a fraction of 1023. Linear 1 is
// 685 / 1023; the code values above it keep highlights up to about 13.4,
// where 1 (code value 1023) is reached. 0 for a value the logarithm has no
// answer for (below the film's base, not a number).
float cineonFromLinear(float linear);
}  // namespace pingwell_host

#endif
