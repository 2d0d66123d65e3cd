#include "slack/reply_check.h"

#include "slack/json_text.h"

namespace pingwell {

ReplyVerdict judgeReply(const nlohmann::json& reply) {
  ReplyVerdict verdict;
  if (!reply.is_object()) return verdict;
  const auto ok = reply.find("ok");
  if (ok == reply.end()) return verdict;
  // Only the JSON value true passes: not "true", not 1.
  if (ok->is_boolean() && ok->get<bool>()) return verdict;
  const auto error = reply.find("error");
  if (error != reply.end()) {
    verdict.kind = ReplyVerdict::Kind::NamedError;
    verdict.errorJson = compactJson(*error);
  } else {
    verdict.kind = ReplyVerdict::Kind::UnknownError;
  }
  return verdict;
}

}  // namespace pingwell
