#include "plugin/posting.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

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

// One try: skipped while frame messages pause, else posted with the
// caller's settings at `place` and its outcome noted.
PostResult postOnce(const PostSettings& settings, PostKind kind, const std::string& text,
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

// Waits on the caller's thread, without the lock, so that other callers
// (the options panel's test message) are not held up meanwhile.
void waitFor(PostBackoff::Clock::duration wait, const std::string& line) {
  if (wait <= PostBackoff::Clock::duration::zero()) return;
  writeDiagnostic(line);
  std::this_thread::sleep_for(wait);
}

std::string inSeconds(PostBackoff::Clock::duration wait) {
  return std::to_string(std::chrono::ceil<std::chrono::seconds>(wait).count()) + " s";
}

}  // namespace

// The render-completed message is the one an artist waits for: it is not
// sent into a rate limit the service has told of, and one that the service
// rate-limits is sent once more after the wait it asks for. Each wait is at
// most PostBackoff::kLongestRateLimitWait.
PostResult postMessageAs(const PostSettings& settings, PostKind kind, const std::string& text,
                         const ThreadPlace& place) {
  if (kind != PostKind::RenderCompleted) return postOnce(settings, kind, text, place);
  PostBackoff::Clock::duration wait;
  {
    const std::lock_guard<std::mutex> lock(postingMutex());
    wait = networkBackoff().rateLimitWait();
  }
  waitFor(wait, "rate-limited: \"" + messageOnOneLine(text) + "\" waits " + inSeconds(wait) +
                    " before it is sent");
  PostResult result = postOnce(settings, kind, text, place);
  if (!result.outcome.retryAfterSeconds) return result;
  wait = std::min<PostBackoff::Clock::duration>(
      std::chrono::seconds(std::max(1L, *result.outcome.retryAfterSeconds)),
      PostBackoff::kLongestRateLimitWait);
  waitFor(wait, "rate-limited: \"" + messageOnOneLine(text) + "\" is sent once more in " +
                    inSeconds(wait));
  return postOnce(settings, kind, text, place);
}

}  // namespace pingwell
