#include "plugin/posting/posting.h"

#include <algorithm>
#include <chrono>
#include <mutex>

#include "plugin/posting/backoff.h"
#include "plugin/posting/channel_ids.h"
#include "plugin/posting/posting_clients.h"
#include "plugin/posting/posting_queue.h"
#include "plugin/posting/skip_note.h"
#include "slack/client.h"
#include "slack/diagnostics.h"

namespace pingwell {

namespace {

constexpr std::string_view kPostMessage = "chat.postMessage";
constexpr std::string_view kUpdate = "chat.update";

// Guards the pause and rate limits. A client's token, user name and
// channel are set and posted with under the client's own lease, one step,
// so that no message goes out with another instance's settings.
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

// Tells of an outcome that did not go through: an error the service named
// always, the rest unless the caller tells it itself (the test message).
void report(const PostOutcome& outcome, PostKind kind, const std::string& what,
            const std::string& token) {
  if (outcome.sent()) return;
  if (kind == PostKind::TestMessage && outcome.kind != PostOutcome::Kind::ServiceError) return;
  const std::string line = outcomeLine(outcome, what);
  if (!line.empty()) writeDiagnostic(maskSecret(line, token));
}

// One try: skipped while frame messages of `method` pause, else made with
// the caller's token and its outcome noted and told.
// The test message has a client of its own, so that it never waits for a
// transfer of the posting thread; the pause and rate limits are shared.
PostResult callOnce(const PostSettings& settings, PostKind kind, std::string_view method,
                    const std::string& what, posting_detail::CallFunction call, void* context) {
  PostBackoff& backoff = networkBackoff();
  PostResult result;
  if (kind == PostKind::Skippable) {
    const std::lock_guard<std::mutex> lock(postingMutex());
    if (const std::optional<SkipReason> reason = backoff.skipReason(method)) {
      writeDiagnostic(maskSecret(skipNote(what, *reason), settings.token));
      result.skipped = true;
      return result;
    }
  }
  bool abandoned = false;  // the module's shutdown ended the transfer: it has told of it
  {
    ClientLease lease(kind == PostKind::TestMessage ? ClientUse::Waiting : ClientUse::Posting);
    SlackClient& client = lease.client();
    client.token = settings.token;
    result.outcome = call(client, context);
    abandoned = lease.cancelled();
  }
  if (abandoned) return result;
  {
    const std::lock_guard<std::mutex> lock(postingMutex());
    backoff.noteOutcome(result.outcome);
  }
  report(result.outcome, kind, what, settings.token);
  return result;
}

// Waits on the caller's thread (the posting thread), without the lock, so
// that other callers (the options panel's test message) are not held up
// meanwhile; the module's shutdown cuts the wait short.
void waitFor(PostBackoff::Clock::duration wait, const std::string& line) {
  if (wait <= PostBackoff::Clock::duration::zero()) return;
  writeDiagnostic(line);
  pauseForPosting(wait);
}

std::string inSeconds(PostBackoff::Clock::duration wait) {
  return std::to_string(std::chrono::ceil<std::chrono::seconds>(wait).count()) + " s";
}

}  // namespace

namespace posting_detail {

// The render-completed message is the one an artist waits for: it is not
// sent into a rate limit the service has told of, and one that the service
// rate-limits is sent once more after the wait it asks for. Each wait is at
// most PostBackoff::kLongestRateLimitWait.
PostResult callWithRules(const PostSettings& settings, PostKind kind, std::string_view method,
                         const std::string& what, CallFunction call, void* context) {
  if (kind != PostKind::NeverSkipped && kind != PostKind::Completion)
    return callOnce(settings, kind, method, what, call, context);
  PostBackoff::Clock::duration wait;
  {
    const std::lock_guard<std::mutex> lock(postingMutex());
    wait = networkBackoff().rateLimitWait(method);
  }
  const std::string quoted = "\"" + messageOnOneLine(what) + "\"";
  waitFor(wait, "rate-limited: " + quoted + " waits " + inSeconds(wait) + " before it is sent");
  PostResult result = callOnce(settings, kind, method, what, call, context);
  if (!result.outcome.retryAfterSeconds) return result;
  wait = std::min<PostBackoff::Clock::duration>(
      std::chrono::seconds(std::max(1L, *result.outcome.retryAfterSeconds)),
      PostBackoff::kLongestRateLimitWait);
  waitFor(wait, "rate-limited: " + quoted + " is sent once more in " + inSeconds(wait));
  return callOnce(settings, kind, method, what, call, context);
}

}  // namespace posting_detail

PostResult postMessageAs(const PostSettings& settings, PostKind kind, const std::string& text,
                         const ThreadPlace& place) {
  return callAs(settings, kind, kPostMessage, text, [&](SlackClient& client) {
    client.chat.username = settings.userName;
    client.chat.channel = settings.channel;
    client.chat.threadTs.assign(place.threadTs);
    client.chat.replyBroadcast = place.broadcast && !place.threadTs.empty();
    PostOutcome outcome = client.chat.sendMessage(text, "");
    if (outcome.sent() && !outcome.channelId.empty())
      rememberChannelId(settings.token, settings.channel, outcome.channelId);
    return outcome;
  });
}

PostResult editMessageAs(const PostSettings& settings, PostKind kind, const std::string& channelId,
                         const std::string& ts, const std::string& text) {
  return callAs(settings, kind, kUpdate, text, [&](SlackClient& client) {
    return client.chat.updateMessage(channelId, ts, text);
  });
}

}  // namespace pingwell
