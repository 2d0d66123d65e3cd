#pragma once
// The conversation one instance holds with the channel about the render in
// progress: the thread its messages go to, and the progress message that is
// edited as the render goes. Begins anew with every render; never saved,
// never copied.
#include <string>

#include "plugin/posting/plugin_clock.h"

namespace pingwell {

class RenderConversation {
 public:
  // At most one edit of the progress message in this time.
  static constexpr std::chrono::seconds kEditInterval{10};

  // A new render begins: no thread, no progress message.
  void newRender() noexcept;

  // The render's thread: the `ts` of its first message the service accepted,
  // or empty while there is none.
  const std::string& threadTs() const noexcept { return threadTs_; }
  // Takes `ts` as the thread when the render has none yet; an empty one (a
  // reply that gave none of the service's shape) is ignored. Throws only
  // std::bad_alloc.
  void takeThread(const std::string& ts);

  // The progress message, once the service accepted it: the channel's ID
  // and its `ts`, both as the reply gave them, taken only when it gave both
  // (the client keeps only what has their shape). Throws only
  // std::bad_alloc.
  bool hasProgress() const noexcept { return !progressTs_.empty(); }
  const std::string& progressChannel() const noexcept { return progressChannel_; }
  const std::string& progressTs() const noexcept { return progressTs_; }
  void takeProgress(const std::string& channelId, const std::string& ts);

  // Whether an edit may go now: the message is there, its edits have not
  // ended, and none went in the last kEditInterval.
  bool editDue(PluginClock::time_point now) const noexcept;
  // The part of editDue the render's thread decides at the event: none went
  // in the last kEditInterval. (The rest depends on replies, read where
  // they are noted.)
  bool editIntervalPassed(PluginClock::time_point now) const noexcept {
    return !edited_ || now - lastEdit_ >= kEditInterval;
  }
  // An edit was made (or tried) at `now`.
  void noteEdit(PluginClock::time_point now) noexcept;
  // The service will take no more edits of this message.
  void endEdits() noexcept { editsEnded_ = true; }
  bool editsEnded() const noexcept { return editsEnded_; }

  // A frame's preview had its one try (posted or not): the render's first,
  // and whether `frame` was the one.
  void notePreviewTried(int frame) noexcept;
  bool firstPreviewTried() const noexcept { return previewTried_; }
  bool previewTried(int frame) const noexcept { return previewTried_ && triedFrame_ == frame; }

 private:
  std::string threadTs_;
  std::string progressChannel_;
  std::string progressTs_;
  bool edited_ = false;
  PluginClock::time_point lastEdit_{};
  bool editsEnded_ = false;
  bool previewTried_ = false;
  int triedFrame_ = 0;
};

}  // namespace pingwell
