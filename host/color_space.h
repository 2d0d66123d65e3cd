// The host's color-space service ("LWColorSpace"): the color space it saves
// rendered frames in, Linear or sRGB, with sRGB's transfer function as the
// conversion from linear light.
#ifndef PINGWELL_HOST_COLOR_SPACE_H
#define PINGWELL_HOST_COLOR_SPACE_H

#include "plugin/host_api/host_interface.h"

namespace pingwell_host {

// The record, process-wide as the module expects. colorSpaceName gives the
// output color space's name for HOST_COLOR_SPACE_TYPE_OUTPUT and "Linear"
// for every other type; nameToColorSpace knows "Linear" and "sRGB" (-1 for
// any other name); getPixelConversionRGB gives sRGB's conversions (either
// way) and NULL for any other space. The members the module never calls are
// NULL.
HostColorSpaceFuncs* colorSpaceRecord();

// The output color space colorSpaceName reports: HOST_COLOR_SPACE_LINEAR
// (how the host starts) or HOST_COLOR_SPACE_SRGB.
void setOutputColorSpace(int space);

// sRGB's transfer function from linear light, on one value.
float srgbFromLinear(float linear);

}  // namespace pingwell_host

#endif
