#include "plugin/previews/image_filter.h"

#include <memory>
#include <optional>

#include "plugin/host_api/failure_report.h"
#include "plugin/previews/frame_previews.h"
#include "plugin/previews/output_color_space.h"
#include "plugin/previews/preview_image.h"

namespace pingwell {

namespace {

// What the host holds for an instance: the global lookup of the activation
// that made it, for the color space of each frame.
struct PreviewFilterInstance {
  HostGlobalFunc global = nullptr;
};

}  // namespace

void* previewFilterCreate(void* priv, void* /*context*/, const char** /*error*/) noexcept {
  try {
    auto filter = std::make_unique<PreviewFilterInstance>();
    filter->global = reinterpret_cast<HostGlobalFunc>(priv);
    FramePreviews::instance().filterAdded();
    return filter.release();  // the host owns it until previewFilterDestroy
  } catch (...) {
    reportCurrentException();
    return nullptr;
  }
}

void previewFilterDestroy(void* instance) noexcept {
  if (instance == nullptr) return;
  delete static_cast<PreviewFilterInstance*>(instance);
  FramePreviews::instance().filterRemoved();
}

const char* previewFilterCopy(void* /*to*/, void* /*from*/) noexcept { return nullptr; }

const char* previewFilterLoad(void* /*instance*/, const HostLoadState* /*state*/) noexcept {
  return nullptr;
}

const char* previewFilterSave(void* /*instance*/, const HostSaveState* /*state*/) noexcept {
  return nullptr;
}

const char* previewFilterDescribe(void* /*instance*/) noexcept { return kPreviewFilterDescription; }

unsigned int previewFilterFlags(void* /*instance*/) noexcept { return 0; }

void previewFilterProcess(void* instance, const HostFilterAccess* access) noexcept {
  if (access == nullptr || access->width <= 0 || access->height <= 0) return;
  const int width = access->width;
  const int height = access->height;
  float* (*const getLine)(int, int) = access->getLine;
  void (*const setRGB)(int, int, const float*) = access->setRGB;
  void (*const setAlpha)(int, int, float) = access->setAlpha;

  // The pass-through does not depend on the preview: without memory for
  // it, the frame still goes through.
  std::optional<PreviewCapture> capture;
  try {
    // Asked anew each frame: the artist may change it between renders.
    const HostGlobalFunc global =
        instance ? static_cast<PreviewFilterInstance*>(instance)->global : nullptr;
    const std::optional<PreviewConversion> conversion = outputColorConversion(global);
    capture.emplace(width, height, conversion ? &*conversion : nullptr);
  } catch (...) {
    reportCurrentException();
  }
  for (int y = 0; y < height; ++y) {
    const float* red = getLine ? getLine(HOST_BUFFER_RED, y) : nullptr;
    const float* green = getLine ? getLine(HOST_BUFFER_GREEN, y) : nullptr;
    const float* blue = getLine ? getLine(HOST_BUFFER_BLUE, y) : nullptr;
    const float* alpha = getLine ? getLine(HOST_BUFFER_ALPHA, y) : nullptr;
    if (setRGB != nullptr) {
      for (int x = 0; x < width; ++x) {
        const float rgb[3] = {red ? red[x] : 0.0f, green ? green[x] : 0.0f, blue ? blue[x] : 0.0f};
        setRGB(x, y, rgb);
      }
    }
    if (setAlpha != nullptr) {
      for (int x = 0; x < width; ++x) setAlpha(x, y, alpha ? alpha[x] : 0.0f);
    }
    if (capture) capture->addLine(y, red, green, blue);
  }
  if (!capture || capture->previewWidth() == 0) return;
  try {
    FramePreviews::instance().offer(access->frame, capture->finish());
  } catch (...) {
    reportCurrentException();
  }
}

}  // namespace pingwell
