#include "plugin/notifier/render_conversation.h"

namespace pingwell {

namespace {

constexpr size_t kLongestId = 32;

bool looksLikeTimeStamp(const std::string& ts) {
  if (ts.empty() || ts.size() > kLongestId) return false;
  for (char c : ts) {
    if ((c < '0' || c > '9') && c != '.') return false;
  }
  return true;
}

bool looksLikeChannelId(const std::string& id) {
  if (id.empty() || id.size() > kLongestId) return false;
  for (char c : id) {
    if ((c < '0' || c > '9') && (c < 'A' || c > 'Z')) return false;
  }
  return true;
}

}  // namespace

void RenderConversation::newRender() noexcept {
  threadTs_.clear();
  progressChannel_.clear();
  progressTs_.clear();
  edited_ = false;
  editsEnded_ = false;
  previewTried_ = false;
}

void RenderConversation::takeThread(const std::string& ts) {
  if (threadTs_.empty() && looksLikeTimeStamp(ts)) threadTs_ = ts;
}

void RenderConversation::takeProgress(const std::string& channelId, const std::string& ts) {
  if (hasProgress() || !looksLikeChannelId(channelId) || !looksLikeTimeStamp(ts)) return;
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
