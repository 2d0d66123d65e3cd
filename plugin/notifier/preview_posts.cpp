#include "plugin/notifier/preview_posts.h"

#include <optional>
#include <string>

#include "plugin/notifier/frame_messages.h"
#include "plugin/posting/channel_ids.h"
#include "plugin/posting/posting_queue.h"
#include "plugin/previews/frame_previews.h"
#include "plugin/previews/preview_upload.h"
#include "slack/diagnostics.h"

namespace pingwell {

void PreviewPosts::newRender(const RenderEvent& event) noexcept {
  firstTried_ = false;
  triedFrame_ = 0;
  if (event.code() == HOST_EVENT_RENDER_STARTING || event.frameStarted())
    FramePreviews::instance().newRender();
}

bool PreviewPosts::mayPost(const RenderEvent& event) noexcept {
  return (event.frameDone() || event.ended()) && FramePreviews::instance().filterApplied();
}

void PreviewPosts::post(const RenderEvent& event, const ConversationPtr& talk) {
  if (!mayPost(event)) return;
  std::shared_ptr<const FramePreview> latest = FramePreviews::instance().latest();
  if (!latest) return;
  const bool last = event.ended();
  if (last ? firstTried_ && triedFrame_ == latest->frame
           : firstTried_ || latest->frame != event.moment().frame) {
    return;
  }
  // One try a frame: a first frame that is also the last is not tried again.
  if (!firstTried_) {
    firstTried_ = true;
    triedFrame_ = latest->frame;
  }
  std::optional<std::string> eventText;
  if (!event.messageOn()) eventText = FrameMessages::text(event);
  (void)handOverPosting(
      [sender = event.sender(), talk, where = FrameMessages::placeOf(event), last,
       latest = std::move(latest), scene = keptSceneName(event.sceneFile()),
       eventText = std::move(eventText)] {
        std::string channelId = knownChannelId(sender->token, sender->channel);
        if (channelId.empty() && eventText) {
          FrameMessages::send(*sender, *talk, where, *eventText);
          channelId = knownChannelId(sender->token, sender->channel);
        }
        if (channelId.empty()) {
          writeDiagnostic("error the preview of frame " + std::to_string(latest->frame) +
                          " was not posted: no message to the channel has gone through yet");
          return;
        }
        const std::string threadTs = where.inThread ? talk->threadTs() : std::string();
        postPreview(sender->settings(), last ? PostKind::NeverSkipped : PostKind::Skippable,
                    *latest, scene.c_str(), channelId, threadTs);
      },
      QueueKeep::Preview);
}

}  // namespace pingwell
