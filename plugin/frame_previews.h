#pragma once
// Where the image filter hands the frames it passed through to the master
// instances that post them. The filter's process and the master's events
// may come on different threads of the host: everything here is under one
// lock.
#include "plugin/preview_image.h"

namespace pingwell {

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
  // `frame`, which has just been rendered. Never throws.
  void offer(int frame, PreviewPixels pixels) noexcept;
};

}  // namespace pingwell
