#pragma once
// The pause after a network failure, and the wait a rate limit asks for.
// Every post waits for its whole HTTPS exchange on the posting thread, and a
// network that swallows packets costs the full time-out per message: the
// render's messages would fall further and further behind it.
// After a transfer that could not reach the service, frame messages are
// skipped for a while, longer after each further failure in a row; after the
// service answered that it limits the rate of a method, that method's frame
// messages are skipped for as long as it asked. The render-completed message
// is always tried. This decides only: the caller words and writes the lines.
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "plugin/posting/plugin_clock.h"
#include "slack/post_outcome.h"

namespace pingwell {

// Why a message is skipped now, for its line.
struct SkipReason {
  enum class Kind { NetworkFailure, RateLimit };
  Kind kind = Kind::NetworkFailure;
  PluginClock::duration since{};  // since the failure, or the rate-limited reply
  PluginClock::duration left{};   // until the next try
  std::string failure;            // NetworkFailure: libcurl's words
  std::chrono::seconds retryAfter{};  // RateLimit: what the service asked for
};

class PostBackoff {
 public:
  using Clock = PluginClock;
  using NowFunction = PluginNowFunction;

  // The pause after the first network failure; each further failure in a
  // row doubles it, up to kLongestPause. With tries that cost the 30 s
  // transfer time-out each, a 10-hour render then loses under 1 % of its
  // time: eleven tries, the render-completed one included (bench/run).
  static constexpr std::chrono::seconds kFirstPause{60};
  static constexpr std::chrono::seconds kLongestPause{4 * 60 * 60};
  // The longest a message that is never skipped waits for a rate limit,
  // each time (the render's completion waits out the whole of it).
  static constexpr std::chrono::seconds kLongestRateLimitWait{30};

  explicit PostBackoff(NowFunction now = &pluginNow) noexcept : now_(now) {}

  // Takes what came of the call just made. A network failure starts the
  // pause, or a longer one when the last call failed so too; a call that
  // reached the service ends it. A rate-limited reply starts the wait it
  // asks for, for its method alone. A call that failed before any transfer
  // changes nothing.
  void noteOutcome(const PostOutcome& outcome);

  // Why a frame message of `method` is to be skipped now, or none.
  std::optional<SkipReason> skipReason(std::string_view method = {}) const;
  bool pausing(std::string_view method = {}) const { return skipReason(method).has_value(); }

  // How long a message of `method` that must not be skipped has to wait so
  // as not to be sent into a rate limit the service has told of: the rest
  // of its wait, at most kLongestRateLimitWait; zero when there is none.
  Clock::duration rateLimitWait(std::string_view method = {}) const;
  // The rest of the rate limit of `method` the service has told of, whole;
  // zero when there is none: what the render's completion waits.
  Clock::duration rateLimitLeft(std::string_view method = {}) const;

 private:
  struct RateLimit {
    Clock::time_point at;
    std::chrono::seconds wait{};
  };
  // The rate limit of `method` that holds at `now`, or null.
  const RateLimit* rateLimited(std::string_view method, Clock::time_point now) const;

  NowFunction now_;
  // The latest network failure, when the latest transfer was one, the pause
  // it started and how many failed in a row.
  std::optional<Clock::time_point> failedAt_;
  Clock::duration pause_{};
  int failuresInARow_ = 0;
  std::string failure_;  // libcurl's words for the failure
  // The latest rate-limited reply of each method and the wait it asked for.
  std::map<std::string, RateLimit, std::less<>> limits_;
};

}  // namespace pingwell
