#include "plugin/posting/backoff.h"

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

}  // namespace

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
      limits_[outcome.method] = RateLimit{now_(), seconds(std::max(1L, *outcome.retryAfterSeconds))};
    }
  }
}

const PostBackoff::RateLimit* PostBackoff::rateLimited(std::string_view method,
                                                       Clock::time_point now) const {
  const auto it = limits_.find(method);
  if (it == limits_.end() || now - it->second.at >= it->second.wait) return nullptr;
  return &it->second;
}

std::optional<SkipReason> PostBackoff::skipReason(std::string_view method) const {
  const Clock::time_point now = now_();
  SkipReason reason;
  if (failedAt_ && now - *failedAt_ < pause_) {
    reason.kind = SkipReason::Kind::NetworkFailure;
    reason.since = now - *failedAt_;
    reason.left = *failedAt_ + pause_ - now;
    reason.failure = failure_;
    return reason;
  }
  if (const RateLimit* limit = rateLimited(method, now)) {
    reason.kind = SkipReason::Kind::RateLimit;
    reason.since = now - limit->at;
    reason.left = limit->at + limit->wait - now;
    reason.retryAfter = limit->wait;
    return reason;
  }
  return std::nullopt;
}

PostBackoff::Clock::duration PostBackoff::rateLimitWait(std::string_view method) const {
  return std::min<Clock::duration>(rateLimitLeft(method), kLongestRateLimitWait);
}

PostBackoff::Clock::duration PostBackoff::rateLimitLeft(std::string_view method) const {
  const Clock::time_point now = now_();
  const RateLimit* limit = rateLimited(method, now);
  return limit != nullptr ? limit->at + limit->wait - now : Clock::duration::zero();
}

}  // namespace pingwell
