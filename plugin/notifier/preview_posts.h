#pragma once
// The previews of a render, while a preview filter is applied: its first
// frame after that frame's frame-rendered event, and its last frame
// rendered whole after its completion, each tried once. The upload needs
// the channel's ID: when no reply in this process has told it by the
// upload's turn, the event's own message is posted first (also with its
// switch off), and its reply tells it. The JPEG is made on the posting
// thread.
#include "plugin/notifier/render_conversation.h"
#include "plugin/notifier/render_event.h"

namespace pingwell {

class PreviewPosts {
 public:
  // A new render: its first frame is yet to be tried. At the render
  // starting or its first frame start, what the filter handed over of the
  // last render is dropped (an event later in a render must not drop what
  // the filter handed over of this one).
  void newRender(const RenderEvent& event) noexcept;

  // Whether the event may post a preview: a frame rendered or the
  // completion, while a filter is applied. Allocates nothing.
  static bool mayPost(const RenderEvent& event) noexcept;

  // The event's preview, if it has one to try. Throws only std::bad_alloc.
  void post(const RenderEvent& event, const ConversationPtr& talk);

 private:
  bool firstTried_ = false;  // the render's first frame had its one try
  int triedFrame_ = 0;       // and which frame that was
};

}  // namespace pingwell
