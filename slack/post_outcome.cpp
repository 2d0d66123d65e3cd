#include "slack/post_outcome.h"

namespace pingwell {

bool PostOutcome::refusedForGood() const noexcept {
  if (kind != Kind::ServiceError) return false;
  for (const char* name :
       {"message_not_found", "cant_update_message", "edit_window_closed", "channel_not_found"}) {
    if (errorName == name) return true;
  }
  return false;
}

std::string outcomeLine(const PostOutcome& outcome, std::string_view what) {
  if (outcome.kind == PostOutcome::Kind::ServiceError) {
    std::string line = "warning! " + outcome.method + " checkResponse() failed " + outcome.errorJson;
    if (!outcome.hint.empty()) line.append(": ").append(outcome.hint);
    return line;
  }
  if (outcome.failure.empty()) return {};
  if (outcome.kind == PostOutcome::Kind::UnusableReply) {
    return "error " + std::string(what) + ": " + outcome.failure;
  }
  return "error " + outcome.failure;
}

}  // namespace pingwell
