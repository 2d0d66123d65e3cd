#pragma once
// The one way the plug-in talks to the service: through the client of the
// posting thread (or, for the test message, the one of the callers that wait
// for their answer), with the token, poster name and channel of the caller,
// one call at a time, minding the pause after a network failure and the
// service's rate limits. It writes the lines that tell what became of a call.
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "plugin/posting/plugin_clock.h"
#include "slack/post_outcome.h"

namespace pingwell {

class SlackClient;

// Who a message goes out as, and where.
struct PostSettings {
  const std::string& token;
  const std::string& userName;
  const std::string& channel;
};

// Where in the channel a message goes: the channel itself (no thread), or a
// reply in the thread of the message whose `ts` is `threadTs`, which
// `broadcast` shows in the channel as well.
struct ThreadPlace {
  std::string_view threadTs;  // empty: the channel itself
  bool broadcast = false;     // only with a threadTs
};

// What may become of a call: whether the pause after network failures and
// the rate limits may skip it, and how hard it is tried.
enum class PostKind {
  Skippable,     // frame messages, progress edits, lookups: skipped while paused
  NeverSkipped,  // always tried; waits out a rate limit, sent once more after one
  Completion,    // the render's completion or abort: tried until it arrives (see below)
  TestMessage,   // the user asked for it: always tried, at once
};

// When the render ended, on the plug-in's clock: the render's completion is
// tried until 10 minutes after it. None: the moment of its first try.
using RenderEnded = std::optional<PluginClock::time_point>;

struct PostResult {
  bool skipped = false;    // paused: a line says so
  bool abandoned = false;  // the module's shutdown ended the transfer: its line tells of it
  PostOutcome outcome;     // what came of the call, when it was made
};

// Posts `text` as chat.postMessage with `settings`, at `place`. Setting the
// client's token, name, channel and thread and posting are one step under
// one lock, so no message can go out with another caller's settings. The
// pause is updated from the outcome. A failure is written as one line (for
// a test message, only an error the service named: the caller tells the
// rest). The result is that of the last try. Throws only std::bad_alloc.
//
// The waits below are made on the caller's thread (the posting thread),
// without the lock; the module's shutdown cuts them short, and the call
// ends there.
// - NeverSkipped waits for the rest of a rate limit the service has told
//   of, and is sent once more after the wait that a rate-limited reply asks
//   for; each wait is at most 30 s.
// - Completion waits for the whole of a rate limit, and is sent again as
//   often as the service asks; a transfer that fails (no connection, no
//   answer, a connection closed, a time-out, an HTTP 5xx) is tried again
//   after 5 s, 15 s, 60 s, then every 60 s. It gives up when the next try
//   would come later than 10 minutes after `renderEnded`. Each wait, and
//   giving up, is told in one line. Where no posting thread runs (the
//   plug-in's parts linked alone) it is tried as NeverSkipped, unless a
//   pause of replacePluginPause stands in for the waits.
PostResult postMessageAs(const PostSettings& settings, PostKind kind, const std::string& text,
                         const ThreadPlace& place = {}, RenderEnded renderEnded = std::nullopt);

// The one chat.postMessage on `client`, made inside a call of callAs: the
// poster name, channel and place of `settings` and `place`, then the post of
// `text` with `blocks` (none: empty); the channel's ID an accepted reply
// tells is remembered. Throws only std::bad_alloc.
PostOutcome sendChatMessage(SlackClient& client, const PostSettings& settings,
                            const std::string& text, const ThreadPlace& place,
                            std::string_view blocks = {});

// Edits the message `ts` in the channel whose ID is `channelId` to read
// `text` (chat.update), with the token of `settings`, as postMessageAs posts:
// skipped while paused as a frame message, or tried as a render-completed
// message. Throws only std::bad_alloc.
PostResult editMessageAs(const PostSettings& settings, PostKind kind, const std::string& channelId,
                         const std::string& ts, const std::string& text,
                         RenderEnded renderEnded = std::nullopt);

// One call of `method` that `send` makes on the process's client, told as
// `what` in the lines (a text on one line), as postMessageAs makes its
// posts: paused, waited for, reported. The token is set from `settings`.
// For the calls that have no wrapper of their own here (the upload's
// steps). Throws only std::bad_alloc.
template <typename Send>
PostResult callAs(const PostSettings& settings, PostKind kind, std::string_view method,
                  const std::string& what, Send&& send, RenderEnded renderEnded = std::nullopt);

namespace posting_detail {
// What callAs is made of; not for other callers. `call` makes the call with
// `context`, the caller's callable.
using CallFunction = PostOutcome (*)(SlackClient& client, void* context);
PostResult callWithRules(const PostSettings& settings, PostKind kind, std::string_view method,
                         const std::string& what, CallFunction call, void* context,
                         RenderEnded renderEnded);
}  // namespace posting_detail

template <typename Send>
PostResult callAs(const PostSettings& settings, PostKind kind, std::string_view method,
                  const std::string& what, Send&& send, RenderEnded renderEnded) {
  return posting_detail::callWithRules(
      settings, kind, method, what,
      [](SlackClient& client, void* context) -> PostOutcome {
        return (*static_cast<std::remove_reference_t<Send>*>(context))(client);
      },
      &send, renderEnded);
}

}  // namespace pingwell
