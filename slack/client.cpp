#include "slack/client.h"

#include <stdexcept>

#include "slack/api_root.h"
#include "slack/diagnostics.h"
#include "slack/percent_encoding.h"
#include "slack/reply_check.h"
#include "slack/reply_parse.h"

namespace pingwell {

SlackClient& SlackClient::instance(const std::string& token, bool throwErrors) {
  // A function-local static: constructed once, thread-safe; a construction
  // that throws is tried again by the next call.
  static SlackClient client(token, throwErrors);
  return client;
}

SlackClient::SlackClient(const std::string& token, bool throwErrors)
    : session(throwErrors), token(token), throwErrors(throwErrors), chat(*this) {
  session.url = kWebApiRoot;
}

nlohmann::json SlackClient::post(const std::string& method, const WebApiParams& params) {
  writeFormBody(body_, params, token);
  return postBody(method, body_);
}

nlohmann::json SlackClient::postBody(const std::string& method, const std::string& body) {
  session.setRequest(method, body);
  const HttpResult result = session.perform();
  if (result.failed) {
    if (throwErrors) throw std::runtime_error(result.errorText);
    writeDiagnostic("error " + result.errorText);
  }
  nlohmann::json reply = parseReply(result.body);
  checkResponse(method, reply);
  return reply;
}

void SlackClient::checkResponse(const std::string& method, const nlohmann::json& reply) {
  const ReplyVerdict verdict = judgeReply(reply);
  switch (verdict.kind) {
    case ReplyVerdict::Kind::Passed:
      return;
    case ReplyVerdict::Kind::NamedError:
      writeDiagnostic(maskSecret(
          "warning! " + method + " checkResponse() failed " + verdict.errorJson, token));
      return;
    case ReplyVerdict::Kind::UnknownError: {
      static const std::string kUnknown = "checkResponse() unknown error.";
      if (throwErrors) throw std::runtime_error(kUnknown);
      writeDiagnostic("error " + kUnknown);
      return;
    }
  }
}

std::string SlackClient::escape(const std::string& text) const {
  std::string encoded;
  appendPercentEncoded(encoded, text);
  return encoded;
}

}  // namespace pingwell
