#include "plugin/backoff.h"

namespace pingwell {

void PostBackoff::noteOutcome(const PostOutcome& outcome) {
  if (outcome.networkFailure()) {
    failedAt_ = now_();
    failure_ = outcome.transferText;
  } else if (outcome.reachedService()) {
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
    line += failure_;
    line += ")";
  }
  return line;
}

}  // namespace pingwell
