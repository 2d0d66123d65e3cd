#include "slack/client.h"

#include <new>
#include <stdexcept>
#include <utility>

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
    : token(token), throwErrors(throwErrors), chat(*this), files(*this) {
  session.url = kWebApiRoot;
}

HttpResult SlackClient::transfer(const std::string& method, std::string_view body,
                                 const Timeouts& timeouts) {
  session.url.assign(kWebApiRoot).append(method);
  HttpRequest http;
  http.url = session.url;
  http.body = body;
  http.timeouts = timeouts;
  return session.perform(http);
}

PostOutcome SlackClient::call(const ApiRequest& request) {
  if (request.isUpload()) {
    // The token is the service's alone: an upload goes to the address the
    // service handed out, and only over TLS to the service's own hosts.
    if (!isSlackUploadAddress(request.uploadUrl())) {
      PostOutcome refused;
      refused.failure = "the upload address is not an https address on slack.com";
      return refused;
    }
    HttpRequest http;
    http.url = request.uploadUrl();
    http.body = request.uploadBytes();
    http.content = HttpRequest::Content::Bytes;
    http.timeouts = request.timeouts;
    return judgeTransfer({}, session.perform(http));
  }
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
  return judgeTransfer(request.method(), transfer(request.method(), body_, request.timeouts));
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
  const HttpResult result = transfer(method, body, Timeouts{});
  ReplyDocument reply;
  PostOutcome& outcome = judged_;
  judgeTransfer(outcome, method, result, &reply);
  if (outcome.transferFailed()) {
    if (throwErrors) throw std::runtime_error(outcome.failure);
    // The transfer's own line, then the call's; what arrived is read all
    // the same.
    writeDiagnostic(outcome.failure);
    writeDiagnostic(outcomeLine(outcome));
    judgeReplyText(outcome, method, result.body, &reply);
  }
  if (reply.parseFailure) std::rethrow_exception(reply.parseFailure);
  reportReply(outcome);
  return std::move(reply.json);
}

void SlackClient::checkResponse(const std::string& method, const nlohmann::json& reply) {
  reportReply(judgeReply(method, reply));
}

void SlackClient::reportReply(const PostOutcome& outcome) {
  if (outcome.kind == PostOutcome::Kind::ServiceError) {
    writeDiagnostic(maskSecret(outcomeLine(outcome), token));  // never thrown
    return;
  }
  if (outcome.kind != PostOutcome::Kind::UnconfirmedReply || outcome.failure.empty()) return;
  if (throwErrors) throw std::runtime_error(outcome.failure);
  writeDiagnostic(outcomeLine(outcome));
}

std::string SlackClient::escape(const std::string& text) const {
  std::string encoded;
  appendPercentEncoded(encoded, text);
  return encoded;
}

}  // namespace pingwell
