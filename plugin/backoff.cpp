#include "plugin/backoff.h"

#include <algorithm>

namespace pingwell {

namespace {

using std::chrono::seconds;

// The pause after the `failures`-th network failure in a row.
PostBackoff::Clock::duration pauseAfter(int failures) noexcept {
  PostBackoff::Clock::duration pause = PostBackoff::kFirstPause;
  for (int n = 1; n < failures && pause < PostBackoff::kLongestPause; ++n) pause *= 2;
  return std::min<PostBackoff::Clock::duration>(pause, PostBackoff::kLongestPause);
}

// Whole seconds, cut off: how long ago.
std::string secondsAgo(PostBackoff::Clock::duration d) {
  return std::to_string(std::chrono::duration_cast<seconds>(d).count());
}

// Whole seconds, rounded up, so that a wait still running never reads 0 s:
// with secondsAgo, the two add up to the whole pause.
std::string secondsLeft(PostBackoff::Clock::duration d) {
  return std::to_string(std::chrono::ceil<seconds>(d).count());
}

}  // namespace

std::string messageOnOneLine(const std::string& message) {
  std::string line;
  line.reserve(message.size());
  for (char c : message) line.push_back(c == '\n' || c == '\r' ? ' ' : c);
  return line;
}

void PostBackoff::noteOutcome(const PostOutcome& outcome) {
  if (outcome.networkFailure()) {
    if (failuresInARow_ < 64) ++failuresInARow_;  // the pause stopped growing long before
    pause_ = pauseAfter(failuresInARow_);
    failedAt_ = now_();
    failure_ = outcome.transferText;
  } else if (outcome.reachedService()) {
    failedAt_.reset();
    failuresInARow_ = 0;
    if (outcome.retryAfterSeconds) {
      limitedAt_ = now_();
      limitWait_ = seconds(std::max(1L, *outcome.retryAfterSeconds));
    }
  }
}

bool PostBackoff::networkPause(Clock::time_point now) const noexcept {
  return failedAt_.has_value() && now - *failedAt_ < pause_;
}

bool PostBackoff::rateLimited(Clock::time_point now) const noexcept {
  return limitedAt_.has_value() && now - *limitedAt_ < limitWait_;
}

bool PostBackoff::pausing() const noexcept {
  const Clock::time_point now = now_();
  return networkPause(now) || rateLimited(now);
}

PostBackoff::Clock::duration PostBackoff::rateLimitWait() const noexcept {
  const Clock::time_point now = now_();
  if (!rateLimited(now)) return Clock::duration::zero();
  return std::min<Clock::duration>(*limitedAt_ + limitWait_ - now, kLongestRateLimitWait);
}

std::string PostBackoff::skipNote(const std::string& message) const {
  const Clock::time_point now = now_();
  std::string line = "skipped \"";
  line += messageOnOneLine(message);
  if (rateLimited(now) && !networkPause(now)) {
    line += "\": rate-limited by the service ";
    line += secondsAgo(now - *limitedAt_);
    line += " s ago (Retry-After ";
    line += std::to_string(limitWait_.count());
    line += " s), next try in ";
    line += secondsLeft(*limitedAt_ + limitWait_ - now);
    line += " s";
    return line;
  }
  line += "\": network failure ";
  if (failedAt_) {
    line += secondsAgo(now - *failedAt_);
    line += " s ago (";
    line += failure_;
    line += "), next try in ";
    line += secondsLeft(std::max(*failedAt_ + pause_ - now, Clock::duration::zero()));
    line += " s";
  }
  return line;
}

}  // namespace pingwell
