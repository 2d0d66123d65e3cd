#include "slack/reply_check.h"

#include "slack/json_text.h"

namespace pingwell {

ReplyVerdict judgeReply(const nlohmann::json& reply) {
  ReplyVerdict verdict;
  if (!reply.is_object() || reply.count("ok") == 0) return verdict;
  // Only the JSON value true passes: not "true", not 1.
  const auto& ok = reply["ok"];
  if (ok.is_boolean() && ok.get<bool>()) return verdict;
  if (reply.count("error") != 0) {
    verdict.kind = ReplyVerdict::Kind::NamedError;
    verdict.errorJson = compactJson(reply["error"]);
  } else {
    verdict.kind = ReplyVerdict::Kind::UnknownError;
  }
  return verdict;
}

}  // namespace pingwell
