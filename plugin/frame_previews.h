#pragma once
// Where the image filter hands the frames it passed through to the master
// instances that post them. The filter's process and the master's events
// may come on different threads of the host: everything here is under one
// lock.
#include <memory>
#include <mutex>
#include <optional>

#include "plugin/preview_image.h"

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
  // `frame`, which has just been rendered. It becomes the latest frame; the
  // first frame offered since the last newRender() is kept as the first.
  // Never throws.
  void offer(int frame, PreviewPixels pixels) noexcept;

  // A new render begins: the previews of the last one are dropped.
  void newRender() noexcept;
  // The render's first frame, while it is held; null otherwise.
  std::shared_ptr<const FramePreview> first() const noexcept;
  // The latest frame offered, while it is held; null otherwise.
  std::shared_ptr<const FramePreview> latest() const noexcept;
  // Drops what is held (after the render's last preview was posted).
  void clear() noexcept;

 private:
  mutable std::mutex mutex_;
  int filters_ = 0;
  std::shared_ptr<const FramePreview> first_;
  std::shared_ptr<const FramePreview> latest_;
};

}  // namespace pingwell
