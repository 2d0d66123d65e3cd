#pragma once
// The color space the host saves rendered frames in, as the conversion a
// preview needs to look like the saved file.
#include <optional>

#include "plugin/host_api/host_interface.h"
#include "plugin/previews/preview_image.h"

namespace pingwell {

// Asks the host through `global` for its color-space record, the output
// files' color space and that space's conversion from linear light. Nothing
// (the preview stays linear) for a null lookup, a host without the record,
// a record without the functions, a linear output, a name the host does not
// know or a space whose conversion it does not have. sRGB, Rec. 709 and Cineon convert channel by
// channel; CIE XYZ, and any space the plug-in does not know, pixel by pixel.
// A space whose white lies above linear 1 (Cineon) gets the values above 1
// as well (see PreviewCapture). Calls the host, so only on the thread the
// host calls the filter on.
std::optional<PreviewConversion> outputColorConversion(HostGlobalFunc global) noexcept;

}  // namespace pingwell
