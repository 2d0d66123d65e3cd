#pragma once
// Where the image filter hands the frames it passed through to the master
// instances that post them. The filter's process and the master's events
// may come on different threads of the host: everything here is under one
// lock.
#include <atomic>
#include <memory>
#include <mutex>

#include "plugin/previews/preview_image.h"

namespace pingwell {

// One frame's preview, shared by every master instance that posts it.
struct FramePreview {
  int frame = 0;
  PreviewPixels pixels;
};

class FramePreviews {
 public:
  // The process's one hand-over point.
  static FramePreviews& instance() noexcept;

  // An image filter instance was made or destroyed: while at least one
  // lives, a preview filter is applied in a scene of this session.
  void filterAdded() noexcept;
  void filterRemoved() noexcept;
  bool filterApplied() const noexcept;

  // From the filter's process, on the render's thread: the preview of
  // `frame`, which has just been rendered. It becomes the latest frame, and
  // the one before is freed (once no master instance posts it any more).
  // Any frame may turn out to be the render's last, so every one is kept
  // until the next; the master instances take the render's first one at its
  // frame-rendered event. Never throws.
  void offer(int frame, PreviewPixels pixels) noexcept;

  // A new render begins: the preview of the last one is dropped.
  void newRender() noexcept;
  // The latest frame offered in this render, while it is held; null
  // otherwise.
  std::shared_ptr<const FramePreview> latest() const noexcept;

 private:
  mutable std::mutex mutex_;
  // Read without the lock by every render event, which must stay cheap.
  std::atomic<int> filters_{0};
  std::shared_ptr<const FramePreview> latest_;
};

}  // namespace pingwell
