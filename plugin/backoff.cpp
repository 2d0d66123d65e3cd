#include "plugin/backoff.h"

#include <curl/curl.h>

namespace pingwell {

bool PostBackoff::isNetworkFailure(int curlCode) noexcept {
  switch (curlCode) {
    // Name look-up failed: resolvers can take seconds per attempt.
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    // Nothing answered the connection (refused, unreachable, all addresses
    // tried).
    case CURLE_COULDNT_CONNECT:
    // Connect or transfer time-out: the expensive case, 10 or 30 s a post.
    case CURLE_OPERATION_TIMEDOUT:
      return true;
    // Everything else reached a server: TLS and certificate failures (a
    // configuration fault that each message must keep reporting), a reset or
    // closed connection (the next post opens a new one; a real outage behind
    // it shows on that post as one of the above), bad replies.
    default:
      return false;
  }
}

void PostBackoff::noteTransfer(int curlCode) noexcept {
  if (curlCode == kNoTransfer) return;
  if (isNetworkFailure(curlCode)) {
    failedAt_ = now_();
    failure_ = curlCode;
  } else {
    failedAt_.reset();
  }
}

bool PostBackoff::pausing() const noexcept {
  return failedAt_.has_value() && now_() - *failedAt_ < kPause;
}

std::string PostBackoff::skipNote(const std::string& message) const {
  std::string line = "skipped \"";
  for (char c : message) line.push_back(c == '\n' || c == '\r' ? ' ' : c);
  line += "\": network failure ";
  if (failedAt_) {
    const auto ago = std::chrono::duration_cast<std::chrono::seconds>(now_() - *failedAt_);
    line += std::to_string(ago.count());
    line += " s ago (";
    line += curl_easy_strerror(static_cast<CURLcode>(failure_));
    line += ")";
  }
  return line;
}

}  // namespace pingwell
