#include "slack/client.h"

#include <climits>
#include <memory>
#include <stdexcept>

#include "slack/api_root.h"
#include "slack/diagnostics.h"
#include "slack/reply_check.h"

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
  nlohmann::json reply = nlohmann::json::parse(result.body);
  checkResponse(method, reply);
  return reply;
}

void SlackClient::checkResponse(const std::string& method, const nlohmann::json& reply) {
  const ReplyVerdict verdict = judgeReply(reply);
  switch (verdict.kind) {
    case ReplyVerdict::Kind::Passed:
      return;
    case ReplyVerdict::Kind::NamedError:
      writeDiagnostic(
          maskSecret("warning! " + method + " checkResponse() failed " + verdict.errorJson, token));
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
  escapeInto(encoded, text);
  return encoded;
}

void SlackClient::escapeInto(std::string& out, std::string_view text) const {
  if (text.size() > static_cast<size_t>(INT_MAX)) {
    throw std::runtime_error("text too long to percent-encode");
  }
  if (text.empty()) return;
  struct CurlFree {
    void operator()(char* p) const noexcept { curl_free(p); }
  };
  // curl_easy_escape(3): the encoded text in a buffer of libcurl's, NULL
  // when it could not make one.
  const std::unique_ptr<char, CurlFree> encoded(
      curl_easy_escape(session.handle.get(), text.data(), static_cast<int>(text.size())));
  if (!encoded) throw std::runtime_error("percent-encoding failed");
  out.append(encoded.get());
}

}  // namespace pingwell
