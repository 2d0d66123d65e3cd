#include "plugin/previews/output_color_space.h"

namespace pingwell {

std::optional<PreviewConversion> outputColorConversion(HostGlobalFunc global) noexcept {
  if (global == nullptr) return std::nullopt;
  const auto* funcs = static_cast<const HostColorSpaceFuncs*>(global(HOST_COLOR_SPACE_NAME, 0));
  if (funcs == nullptr || funcs->nameToColorSpace == nullptr || funcs->colorSpaceName == nullptr ||
      funcs->getPixelConversionRGB == nullptr)
    return std::nullopt;
  const char* name = funcs->colorSpaceName(HOST_COLOR_SPACE_TYPE_OUTPUT);
  if (name == nullptr) return std::nullopt;
  const int space = funcs->nameToColorSpace(name);
  // Linear, or a name the host does not know itself (below 0): nothing to do.
  if (space <= HOST_COLOR_SPACE_LINEAR) return std::nullopt;
  PreviewConversion conversion;
  conversion.convert =
      funcs->getPixelConversionRGB(space, HOST_CONVERSION_FROM_LINEAR, &conversion.lookup);
  if (conversion.convert == nullptr) return std::nullopt;
  conversion.channelsIndependent = space == HOST_COLOR_SPACE_SRGB ||
                                   space == HOST_COLOR_SPACE_REC709 ||
                                   space == HOST_COLOR_SPACE_CINEON;
  return conversion;
}

}  // namespace pingwell
