#include "plugin/notifier/render_conversation.h"

namespace pingwell {

void RenderConversation::takeThread(const std::string& ts) {
  if (threadTs_.empty()) threadTs_ = ts;
}

}  // namespace pingwell
