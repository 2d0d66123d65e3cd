#include "slack/post_outcome.h"

#include <curl/curl.h>

#include <nlohmann/json.hpp>

#include "slack/reply_check.h"

namespace pingwell {

namespace {

// The string member `key` of `reply`, or empty.
std::string stringMember(const nlohmann::json& reply, const char* key) {
  const auto it = reply.find(key);
  return it != reply.end() && it->is_string() ? it->get<std::string>() : std::string();
}

void judgeUpload(const HttpResult& result, PostOutcome& outcome) {
  // The upload address answers in plain text; its status says it all.
  if (result.status >= 200 && result.status < 300) {
    outcome.kind = PostOutcome::Kind::Sent;
  } else {
    outcome.kind = PostOutcome::Kind::UnconfirmedReply;
    outcome.failure = "the upload was refused with HTTP status " + std::to_string(result.status);
  }
}

void judgeReplyText(const HttpResult& result, PostOutcome& outcome) {
  using Kind = PostOutcome::Kind;
  nlohmann::json reply;
  try {
    reply = nlohmann::json::parse(result.body);
  } catch (const nlohmann::json::parse_error& error) {
    outcome.kind = Kind::UnreadableReply;
    outcome.failure = error.what();
    return;
  }
  const ReplyVerdict verdict = judgeReply(reply);
  switch (verdict.kind) {
    case ReplyVerdict::Kind::Passed:
      if (!reply.is_object() || !reply.contains("ok")) {
        outcome.kind = Kind::UnconfirmedReply;  // nothing to tell: no "ok" to test
        return;
      }
      outcome.kind = Kind::Sent;
      outcome.channelId = stringMember(reply, "channel");
      outcome.ts = stringMember(reply, "ts");
      outcome.uploadUrl = stringMember(reply, "upload_url");
      outcome.fileId = stringMember(reply, "file_id");
      outcome.scheduledMessageId = stringMember(reply, "scheduled_message_id");
      if (const auto user = reply.find("user"); user != reply.end() && user->is_object())
        outcome.userId = stringMember(*user, "id");
      return;
    case ReplyVerdict::Kind::NamedError: {
      outcome.kind = Kind::ServiceError;
      outcome.errorJson = verdict.errorJson;
      const nlohmann::json& error = reply["error"];
      outcome.errorName = error.is_string() ? error.get<std::string>() : verdict.errorJson;
      return;
    }
    case ReplyVerdict::Kind::UnknownError:
      outcome.kind = Kind::UnconfirmedReply;
      outcome.failure = "checkResponse() unknown error.";
      return;
  }
}

}  // namespace

PostOutcome::Kind transferFailureKind(int curlCode) noexcept {
  using Kind = PostOutcome::Kind;
  switch (curlCode) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return Kind::NameNotFound;
    case CURLE_COULDNT_CONNECT:
      return Kind::Unreachable;
    case CURLE_OPERATION_TIMEDOUT:
      return Kind::TimedOut;
    case CURLE_SSL_CONNECT_ERROR:
      return Kind::TlsFailure;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
      return Kind::CertificateFailure;
    // A reset or closed connection, a cut-off reply: a server was reached,
    // and the next post opens a new connection.
    default:
      return Kind::TransferFailure;
  }
}

PostOutcome judgeTransfer(const std::string& method, const HttpResult& result) {
  PostOutcome outcome;
  outcome.method = method;
  if (result.failed || result.code != CURLE_OK) {
    const int code = result.code != CURLE_OK ? result.code : CURLE_FAILED_INIT;
    outcome.kind = transferFailureKind(code);
    outcome.transferText = curl_easy_strerror(static_cast<CURLcode>(code));
    outcome.failure = "curl_easy_perform() failed " + outcome.transferText;
    return outcome;
  }
  if (method.empty()) {
    judgeUpload(result, outcome);
  } else {
    judgeReplyText(result, outcome);
  }
  // A service that limits the rate says so by name and with 429; either way
  // it is asked to wait at least a second.
  if (outcome.errorName == "ratelimited" || result.status == 429) {
    outcome.retryAfterSeconds = result.retryAfterSeconds.value_or(1);
  }
  return outcome;
}

std::string outcomeLine(const PostOutcome& outcome) {
  if (outcome.kind == PostOutcome::Kind::ServiceError) {
    return "warning! " + outcome.method + " checkResponse() failed " + outcome.errorJson;
  }
  if (outcome.failure.empty()) return {};
  return "error " + outcome.failure;
}

}  // namespace pingwell
