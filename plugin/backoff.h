#pragma once
// The pause after a network failure. Every post waits for its whole HTTPS
// exchange on the host's render thread, and a network that swallows packets
// costs the full transfer time-out per message: a long render with a frame
// switch on would stretch by that much per frame. After a transfer that could
// not reach the service, frame messages are skipped for a while; the
// render-completed message is always tried.
#include <chrono>
#include <optional>
#include <string>

#include "slack/post_outcome.h"

namespace pingwell {

class PostBackoff {
 public:
  using Clock = std::chrono::steady_clock;
  using NowFunction = Clock::time_point (*)();

  // How long frame messages are skipped after a network failure.
  static constexpr std::chrono::seconds kPause{60};

  explicit PostBackoff(NowFunction now = &Clock::now) noexcept : now_(now) {}

  // Takes what came of the post just made. A network failure starts (or
  // restarts) the pause; a post that reached the service ends it; a post
  // that failed before any transfer changes nothing.
  void noteOutcome(const PostOutcome& outcome);

  // Whether a frame message is to be skipped now.
  bool pausing() const noexcept;

  // The diagnostic line (without its prefix) for skipping `message`: the
  // message on one line, the failure and how long ago it was.
  std::string skipNote(const std::string& message) const;

 private:
  NowFunction now_;
  std::optional<Clock::time_point> failedAt_;
  std::string failure_;  // libcurl's words for the failure
};

}  // namespace pingwell
