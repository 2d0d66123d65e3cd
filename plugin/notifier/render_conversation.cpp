#include "plugin/notifier/render_conversation.h"

namespace pingwell {

void RenderConversation::newRender() noexcept {
  threadTs_.clear();
  progressChannel_.clear();
  progressTs_.clear();
  edited_ = false;
  editsEnded_ = false;
  previewTried_ = false;
}

void RenderConversation::takeThread(const std::string& ts) {
  if (threadTs_.empty()) threadTs_ = ts;
}

void RenderConversation::takeProgress(const std::string& channelId, const std::string& ts) {
  if (hasProgress() || channelId.empty() || ts.empty()) return;
  progressChannel_ = channelId;
  progressTs_ = ts;
}

bool RenderConversation::editDue(PluginClock::time_point now) const noexcept {
  return hasProgress() && !editsEnded_ && editIntervalPassed(now);
}

void RenderConversation::noteEdit(PluginClock::time_point now) noexcept {
  edited_ = true;
  lastEdit_ = now;
}

void RenderConversation::notePreviewTried(int frame) noexcept {
  if (previewTried_) return;  // the first frame's stays noted
  previewTried_ = true;
  triedFrame_ = frame;
}

}  // namespace pingwell
