#pragma once
// The pause after a network failure, and the wait a rate limit asks for.
// Every post waits for its whole HTTPS exchange on the host's render thread,
// and a network that swallows packets costs the full time-out per message:
// a long render with a frame switch on would stretch by that much per frame.
// After a transfer that could not reach the service, frame messages are
// skipped for a while, longer after each further failure in a row; after the
// service answered that it limits the rate, frame messages are skipped for
// as long as it asked. The render-completed message is always tried.
#include <chrono>
#include <optional>
#include <string>

#include "slack/post_outcome.h"

namespace pingwell {

class PostBackoff {
 public:
  using Clock = std::chrono::steady_clock;
  using NowFunction = Clock::time_point (*)();

  // The pause after the first network failure; each further failure in a
  // row doubles it, up to kLongestPause. With tries that cost the 30 s
  // transfer time-out each, a 10-hour render then loses under 1 % of its
  // time: eleven tries, the render-completed one included (bench/run).
  static constexpr std::chrono::seconds kFirstPause{60};
  static constexpr std::chrono::seconds kLongestPause{4 * 60 * 60};
  // The longest a render-completed message waits for a rate limit, each time.
  static constexpr std::chrono::seconds kLongestRateLimitWait{30};

  explicit PostBackoff(NowFunction now = &Clock::now) noexcept : now_(now) {}

  // Takes what came of the post just made. A network failure starts the
  // pause, or a longer one when the last post failed so too; a post that
  // reached the service ends it. A rate-limited reply starts the wait it
  // asks for. A post that failed before any transfer changes nothing.
  void noteOutcome(const PostOutcome& outcome);

  // Whether a frame message is to be skipped now.
  bool pausing() const noexcept;

  // The diagnostic line (without its prefix) for skipping `message`: the
  // message on one line, why and since when, and when the next try comes.
  std::string skipNote(const std::string& message) const;

  // How long a message that must not be skipped has to wait so as not to be
  // sent into a rate limit the service has told of: the rest of its wait,
  // at most kLongestRateLimitWait; zero when there is none.
  Clock::duration rateLimitWait() const noexcept;

 private:
  bool networkPause(Clock::time_point now) const noexcept;
  bool rateLimited(Clock::time_point now) const noexcept;

  NowFunction now_;
  // The latest network failure, when the latest transfer was one, the pause
  // it started and how many failed in a row.
  std::optional<Clock::time_point> failedAt_;
  Clock::duration pause_{};
  int failuresInARow_ = 0;
  std::string failure_;  // libcurl's words for the failure
  // The latest rate-limited reply and the seconds it asked to wait.
  std::optional<Clock::time_point> limitedAt_;
  std::chrono::seconds limitWait_{};
};

// `message` on one line, as the diagnostic lines quote it.
std::string messageOnOneLine(const std::string& message);

}  // namespace pingwell
