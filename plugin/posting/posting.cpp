#include "plugin/posting/posting.h"

#include <algorithm>
#include <chrono>
#include <mutex>

#include "plugin/posting/backoff.h"
#include "plugin/posting/channel_ids.h"
#include "plugin/posting/kept_to_process_end.h"
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
// A static std::mutex is never destroyed in effect (its destructor does
// nothing), so a posting thread that outlives the static destructors may
// still take it.
std::mutex& postingMutex() {
  static std::mutex mutex;
  return mutex;
}

// One network for the whole process: a failure seen by any instance pauses
// the frame messages of all. Guarded by postingMutex().
PostBackoff& networkBackoff() {
  static KeptToProcessEnd<PostBackoff> backoff;
  return backoff.get();
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
  {
    ClientLease lease(kind == PostKind::TestMessage ? ClientUse::Waiting : ClientUse::Posting);
    SlackClient& client = lease.client();
    client.token = settings.token;
    result.outcome = call(client, context);
    result.abandoned = lease.cancelled();
  }
  if (result.abandoned) return result;
  {
    const std::lock_guard<std::mutex> lock(postingMutex());
    backoff.noteOutcome(result.outcome);
  }
  report(result.outcome, kind, what, settings.token);
  return result;
}

// Writes `line` and pauses `wait` on the caller's thread (the posting
// thread), without the lock, so that other callers (the options panel's test
// message) are not held up meanwhile. False when the module's shutdown cut
// the pause short: the call is to end.
bool pauseWithLine(PostBackoff::Clock::duration wait, const std::string& line) {
  if (wait <= PostBackoff::Clock::duration::zero()) return true;
  writeDiagnostic(line);
  return pauseForPosting(wait);
}

std::string inSeconds(PostBackoff::Clock::duration wait) {
  return std::to_string(std::chrono::ceil<std::chrono::seconds>(wait).count()) + " s";
}

// How long after the render ended its completion is still tried.
constexpr std::chrono::minutes kCompletionTriedFor{10};

// The wait before the render's completion is tried again after its
// `failedTries`-th failed transfer in a row: 5 s, 15 s, 60 s, then 60 s.
PostBackoff::Clock::duration pauseBeforeTry(int failedTries) noexcept {
  constexpr std::chrono::seconds kPauses[] = {std::chrono::seconds(5), std::chrono::seconds(15),
                                              std::chrono::seconds(60)};
  return kPauses[std::clamp(failedTries, 1, 3) - 1];
}

// A transfer that may go through when made again: no connection, no
// answer, a connection that closed, a time-out, a server failing for now.
bool worthTryingAgain(const PostOutcome& outcome) noexcept {
  return outcome.networkFailure() || outcome.kind == PostOutcome::Kind::TransferFailure ||
         outcome.serverFailed();
}

std::string quotedOnOneLine(const std::string& what) {
  return "\"" + messageOnOneLine(what) + "\"";
}

// Sent once more after the rate limit told of and after the one a reply asks
// for, each wait at most PostBackoff::kLongestRateLimitWait.
PostResult callNeverSkipped(const PostSettings& settings, std::string_view method,
                            const std::string& what, posting_detail::CallFunction call,
                            void* context) {
  PostBackoff::Clock::duration wait;
  {
    const std::lock_guard<std::mutex> lock(postingMutex());
    wait = networkBackoff().rateLimitWait(method);
  }
  const std::string quoted = quotedOnOneLine(what);
  (void)pauseWithLine(wait, "rate-limited: " + quoted + " waits " + inSeconds(wait) +
                                " before it is sent");
  PostResult result = callOnce(settings, PostKind::NeverSkipped, method, what, call, context);
  if (!result.outcome.retryAfterSeconds) return result;
  wait = std::min<PostBackoff::Clock::duration>(
      std::chrono::seconds(std::max(1L, *result.outcome.retryAfterSeconds)),
      PostBackoff::kLongestRateLimitWait);
  (void)pauseWithLine(wait, "rate-limited: " + quoted + " is sent once more in " + inSeconds(wait));
  return callOnce(settings, PostKind::NeverSkipped, method, what, call, context);
}

// The render's completion is the message an artist waits for: tried until it
// arrives, or until 10 minutes after the render ended.
PostResult callCompletion(const PostSettings& settings, std::string_view method,
                          const std::string& what, posting_detail::CallFunction call,
                          void* context, RenderEnded renderEnded) {
  const PluginClock::time_point until = renderEnded.value_or(pluginNow()) + kCompletionTriedFor;
  const std::string quoted = quotedOnOneLine(what);
  // False, with its line, when a wait would end after `until`.
  const auto inTime = [&](PostBackoff::Clock::duration wait) {
    if (pluginNow() + wait <= until) return true;
    writeDiagnostic(quoted + " not sent: still failing 10 min after the render ended");
    return false;
  };
  PostResult result;
  PostBackoff::Clock::duration wait;
  {
    const std::lock_guard<std::mutex> lock(postingMutex());
    wait = networkBackoff().rateLimitLeft(method);
  }
  if (!inTime(wait) ||
      !pauseWithLine(wait, "rate-limited: " + quoted + " waits " + inSeconds(wait) +
                               " before it is sent"))
    return result;
  int failedTries = 0;
  for (;;) {
    result = callOnce(settings, PostKind::Completion, method, what, call, context);
    if (result.abandoned) return result;
    std::string line;
    if (result.outcome.retryAfterSeconds) {
      failedTries = 0;
      wait = std::chrono::seconds(std::max(1L, *result.outcome.retryAfterSeconds));
      line = "rate-limited: " + quoted + " is sent once more in " + inSeconds(wait);
    } else if (worthTryingAgain(result.outcome)) {
      wait = pauseBeforeTry(++failedTries);
      line = quoted + " is tried again in " + inSeconds(wait);
    } else {
      return result;
    }
    if (!inTime(wait) || !pauseWithLine(wait, line)) return result;
  }
}

}  // namespace

namespace posting_detail {

PostResult callWithRules(const PostSettings& settings, PostKind kind, std::string_view method,
                         const std::string& what, CallFunction call, void* context,
                         RenderEnded renderEnded) {
  switch (kind) {
    case PostKind::NeverSkipped:
      return callNeverSkipped(settings, method, what, call, context);
    case PostKind::Completion:
      // Its waits are the posting thread's; no caller's thread waits so long.
      if (!postingQueueOpen() && replacedPluginPause() == nullptr)
        return callNeverSkipped(settings, method, what, call, context);
      return callCompletion(settings, method, what, call, context, renderEnded);
    case PostKind::Skippable:
    case PostKind::TestMessage:
      break;
  }
  return callOnce(settings, kind, method, what, call, context);
}

}  // namespace posting_detail

PostResult postMessageAs(const PostSettings& settings, PostKind kind, const std::string& text,
                         const ThreadPlace& place, RenderEnded renderEnded) {
  return callAs(
      settings, kind, kPostMessage, text,
      [&](SlackClient& client) { return sendChatMessage(client, settings, text, place); },
      renderEnded);
}

PostOutcome sendChatMessage(SlackClient& client, const PostSettings& settings,
                            const std::string& text, const ThreadPlace& place,
                            std::string_view blocks) {
  client.chat.username = settings.userName;
  client.chat.channel = settings.channel;
  client.chat.threadTs.assign(place.threadTs);
  client.chat.replyBroadcast = place.broadcast && !place.threadTs.empty();
  PostOutcome outcome = client.chat.sendMessage(text, "", blocks);
  if (outcome.sent() && !outcome.channelId.empty())
    rememberChannelId(settings.token, settings.channel, outcome.channelId);
  return outcome;
}

PostResult editMessageAs(const PostSettings& settings, PostKind kind, const std::string& channelId,
                         const std::string& ts, const std::string& text,
                         RenderEnded renderEnded) {
  return callAs(
      settings, kind, kUpdate, text,
      [&](SlackClient& client) { return client.chat.updateMessage(channelId, ts, text); },
      renderEnded);
}

}  // namespace pingwell
