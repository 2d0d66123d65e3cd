#pragma once
// What the channel knows of one instance's render in progress, shared by
// the render's jobs on the posting thread, which alone read and note the
// replies in it: the thread the render's messages go to. Each render has
// one of its own; never saved, never copied.
#include <memory>
#include <string>

namespace pingwell {

class RenderConversation {
 public:
  // The render's thread: the `ts` of its first message the service accepted,
  // or empty while there is none.
  const std::string& threadTs() const noexcept { return threadTs_; }
  // Takes `ts` as the thread when the render has none yet; an empty one (a
  // reply that gave none of the service's shape) is ignored. Throws only
  // std::bad_alloc.
  void takeThread(const std::string& ts);

 private:
  std::string threadTs_;
};

using ConversationPtr = std::shared_ptr<RenderConversation>;

}  // namespace pingwell
