#include "plugin/posting.h"

#include <mutex>

#include "plugin/backoff.h"
#include "slack/client.h"
#include "slack/diagnostics.h"

namespace pingwell {

namespace {

// The process has one client whose token, user name and channel are shared
// by every caller. Setting them and posting must be one step, or a message
// could go out with another instance's token, name or channel.
std::mutex& postingMutex() {
  static std::mutex mutex;
  return mutex;
}

// One network for the whole process: a failure seen by any instance pauses
// the frame messages of all. Guarded by postingMutex().
PostBackoff& networkBackoff() {
  static PostBackoff backoff;
  return backoff;
}

}  // namespace

PostResult postMessageAs(const PostSettings& settings, PostKind kind, const std::string& text,
                         const ThreadPlace& place) {
  const std::lock_guard<std::mutex> lock(postingMutex());
  PostBackoff& backoff = networkBackoff();
  PostResult result;
  if (kind == PostKind::FrameMessage && backoff.pausing()) {
    writeDiagnostic(backoff.skipNote(text));
    result.skipped = true;
    return result;
  }
  SlackClient& client = SlackClient::instance(settings.token, true);
  client.token = settings.token;
  client.chat.username = settings.userName;
  client.chat.channel = settings.channel;
  client.chat.threadTs.assign(place.threadTs);
  client.chat.replyBroadcast = place.broadcast && !place.threadTs.empty();
  result.outcome = client.chat.sendMessage(text, "");
  backoff.noteOutcome(result.outcome);
  return result;
}

}  // namespace pingwell
