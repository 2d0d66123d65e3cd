#pragma once
// The one way the plug-in posts a message: through the process-wide client,
// with the token, poster name and channel of the caller, one post at a time,
// minding the pause after a network failure.
#include <nlohmann/json.hpp>
#include <string>

namespace pingwell {

// Who a message goes out as, and where.
struct PostSettings {
  const std::string& token;
  const std::string& userName;
  const std::string& channel;
};

enum class PostKind {
  FrameMessage,     // skipped while frame messages are paused
  RenderCompleted,  // always tried
  TestMessage,      // the user asked for it: always tried
};

struct PostResult {
  bool skipped = false;  // a paused frame message; a line says so
  nlohmann::json reply;  // the service's reply, when it was posted
};

// Posts `text` as chat.postMessage with `settings`. Setting the client's
// token, name and channel and posting are one step under one lock, so no
// message can go out with another caller's settings. The libcurl result of
// the transfer (or PostBackoff::kNoTransfer when none was made) lands in
// `transferResult`, also when the post throws; the pause is updated from it.
// Throws what the client throws.
PostResult postMessageAs(const PostSettings& settings, PostKind kind, const std::string& text,
                         int& transferResult);

}  // namespace pingwell
