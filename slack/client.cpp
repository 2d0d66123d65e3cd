#include "slack/client.h"

#include <new>
#include <stdexcept>

#include "slack/api_root.h"
#include "slack/diagnostics.h"
#include "slack/reply_check.h"

namespace pingwell {

namespace {

bool isHttpsUrl(const std::string& url) { return url.rfind("https://", 0) == 0; }

}  // namespace

SlackClient& SlackClient::instance(const std::string& token, bool throwErrors) {
  // A function-local static: constructed once, thread-safe; a construction
  // that throws is tried again by the next call.
  static SlackClient client(token, throwErrors);
  return client;
}

SlackClient::SlackClient(const std::string& token, bool throwErrors)
    : session(throwErrors), token(token), throwErrors(throwErrors), chat(*this), files(*this) {
  session.url = kWebApiRoot;
}

PostOutcome SlackClient::call(const ApiRequest& request) {
  HttpRequest http;
  http.timeouts = request.timeouts;
  if (request.isUpload()) {
    // The token is the service's alone: an upload goes to the address the
    // service handed out, and only over TLS.
    if (!isHttpsUrl(request.uploadUrl())) {
      PostOutcome refused;
      refused.failure = "the upload address is not an https address";
      return refused;
    }
    http.url = request.uploadUrl();
    http.body = request.uploadBytes();
    http.content = HttpRequest::Content::Bytes;
  } else {
    try {
      writeRequestBody(body_, request, token);
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& failure) {
      PostOutcome unsent;
      unsent.method = request.method();
      unsent.failure = failure.what();
      return unsent;
    }
    session.setRequest(request.method(), body_);
    http.url = session.url;
    http.body = body_;
  }
  return judgeTransfer(request.method(), session.perform(http));
}

nlohmann::json SlackClient::postRequest(const ApiRequest& request) {
  writeRequestBody(body_, request, token);
  return postBody(request.method(), body_);
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
  appendPercentEncoded(encoded, text);
  return encoded;
}

}  // namespace pingwell
