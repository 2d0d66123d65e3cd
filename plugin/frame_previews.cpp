#include "plugin/frame_previews.h"

#include <new>
#include <utility>

namespace pingwell {

FramePreviews& FramePreviews::instance() noexcept {
  static FramePreviews previews;
  return previews;
}

void FramePreviews::filterAdded() noexcept {
  const std::lock_guard<std::mutex> lock(mutex_);
  ++filters_;
}

void FramePreviews::filterRemoved() noexcept {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (filters_ > 0) --filters_;
  if (filters_ == 0) {
    first_.reset();
    latest_.reset();
  }
}

bool FramePreviews::filterApplied() const noexcept {
  const std::lock_guard<std::mutex> lock(mutex_);
  return filters_ > 0;
}

void FramePreviews::offer(int frame, PreviewPixels pixels) noexcept {
  std::shared_ptr<FramePreview> preview;
  try {
    preview = std::make_shared<FramePreview>();
  } catch (const std::bad_alloc&) {
    return;  // no preview of this frame; the render goes on
  }
  preview->frame = frame;
  preview->pixels = std::move(pixels);
  const std::lock_guard<std::mutex> lock(mutex_);
  // The first frame stays held until it is posted; the one before this is
  // freed unless it is the first.
  if (!first_) first_ = preview;
  latest_ = std::move(preview);
}

void FramePreviews::newRender() noexcept {
  const std::lock_guard<std::mutex> lock(mutex_);
  first_.reset();
  latest_.reset();
}

std::shared_ptr<const FramePreview> FramePreviews::first() const noexcept {
  const std::lock_guard<std::mutex> lock(mutex_);
  return first_;
}

std::shared_ptr<const FramePreview> FramePreviews::latest() const noexcept {
  const std::lock_guard<std::mutex> lock(mutex_);
  return latest_;
}

void FramePreviews::clear() noexcept {
  const std::lock_guard<std::mutex> lock(mutex_);
  first_.reset();
  latest_.reset();
}

}  // namespace pingwell
