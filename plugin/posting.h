#pragma once
// The one way the plug-in posts a message: through the process-wide client,
// with the token, poster name and channel of the caller, one post at a time,
// minding the pause after a network failure and the service's rate limit.
#include <string>
#include <string_view>

#include "slack/post_outcome.h"

namespace pingwell {

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

enum class PostKind {
  FrameMessage,     // skipped while frame messages are paused
  RenderCompleted,  // always tried; waits out a rate limit, sent once more after one
  TestMessage,      // the user asked for it: always tried, at once
};

struct PostResult {
  bool skipped = false;  // a paused frame message; a line says so
  PostOutcome outcome;   // what came of the post, when it was made
};

// Posts `text` as chat.postMessage with `settings`, at `place`. Setting the
// client's token, name, channel and thread and posting are one step under
// one lock, so no message can go out with another caller's settings. The
// pause is updated from the outcome. A render-completed message waits,
// without the lock, for the rest of a rate limit the service has told of,
// and is sent once more after the wait that a rate-limited reply asks for;
// each wait is at most 30 s. The result is that of its last try. Throws only
// std::bad_alloc.
PostResult postMessageAs(const PostSettings& settings, PostKind kind, const std::string& text,
                         const ThreadPlace& place = {});

}  // namespace pingwell
