#include "plugin/previews/frame_previews.h"

#include <new>
#include <utility>

namespace pingwell {

FramePreviews& FramePreviews::instance() noexcept {
  static FramePreviews previews;
  return previews;
}

void FramePreviews::filterAdded() noexcept {
  const std::lock_guard<std::mutex> lock(mutex_);
  filters_.fetch_add(1);
}

void FramePreviews::filterRemoved() noexcept {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (filters_.load() > 0) filters_.fetch_sub(1);
  if (filters_.load() == 0) latest_.reset();
}

bool FramePreviews::filterApplied() const noexcept { return filters_.load() > 0; }

void FramePreviews::offer(int frame, PreviewPixels pixels) noexcept {
  std::shared_ptr<FramePreview> preview;
  try {
    preview = std::make_shared<FramePreview>();
  } catch (const std::bad_alloc&) {
    return;  // no preview of this frame; the render goes on
  }
  preview->frame = frame;
  preview->pixels = std::move(pixels);
  std::shared_ptr<const FramePreview> before;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    before = std::exchange(latest_, std::move(preview));
  }
  // `before` is freed here, outside the lock.
}

void FramePreviews::newRender() noexcept {
  std::shared_ptr<const FramePreview> before;
  const std::lock_guard<std::mutex> lock(mutex_);
  before.swap(latest_);
}

std::shared_ptr<const FramePreview> FramePreviews::latest() const noexcept {
  const std::lock_guard<std::mutex> lock(mutex_);
  return latest_;
}

}  // namespace pingwell
