#pragma once
// A Web API client: the posting thread has one, the callers that wait for
// their answer (the test message) another, and instance() is one for the
// whole process.
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "slack/api_request.h"
#include "slack/chat.h"
#include "slack/files.h"
#include "slack/form_body.h"
#include "slack/http_session.h"
#include "slack/post_outcome.h"

namespace pingwell {

class SlackClient {
 public:
  // The process-wide client. The first call creates it from its arguments
  // (concurrent first callers wait for that one construction); later calls
  // return it and ignore theirs.
  static SlackClient& instance(const std::string& token, bool throwErrors);

  SlackClient(const std::string& token, bool throwErrors);
  SlackClient(const SlackClient&) = delete;
  SlackClient& operator=(const SlackClient&) = delete;

  // The one call path of every request: the body written, the transfer made,
  // classified and its reply judged once, into one outcome. A Web API
  // request carries the token last in its body; an upload never carries it,
  // and goes only to an https address on slack.com. Writes nothing; throws
  // only std::bad_alloc.
  PostOutcome call(const ApiRequest& request);

  // The throwing operations: the same transfer and the same judge, the
  // outcome turned into throws and lines by the throwing switch.

  // A Web API request the throwing way: its body (see writeRequestBody)
  // handed to postBody. Returns the parsed reply.
  nlohmann::json postRequest(const ApiRequest& request);

  // The generic Web API call: body from `params` and `token`, values as they
  // are (see formBody), POST, parse, check. Returns the parsed reply. Throws
  // what the transfer, the parser and the check throw (see postBody and
  // checkResponse).
  nlohmann::json post(const std::string& method, const WebApiParams& params);

  // POSTs `body` to the root + `method`. A failed transfer throws
  // std::runtime_error with throwErrors on, else writes its line and an
  // "error " line and goes on to parse what arrived. A body that is not JSON
  // throws nlohmann::json::parse_error whatever the switch.
  nlohmann::json postBody(const std::string& method, const std::string& body);

  // Reports a reply whose "ok" is not true: a named error as a warning line
  // (never thrown), an unnamed one by the throwing rule.
  void checkResponse(const std::string& method, const nlohmann::json& reply);

  // Percent-encoding: every byte outside RFC 3986's unreserved set as "%"
  // and two upper-case hexadecimal digits. Texts over INT_MAX bytes, and a
  // failure of libcurl's, throw std::runtime_error.
  std::string escape(const std::string& text) const;

  // Ends the transfer under way and every later one (within about a
  // second), from any thread, without waiting for the call that makes it.
  void cancelTransfers() noexcept { session.cancelTransfers(); }
  // Whether cancelTransfers was called: what the client sent since was
  // abandoned.
  bool cancelled() const noexcept { return session.cancelled(); }

  HttpSession session;
  std::string token;  // sent last in every Web API body as "token"
  bool throwErrors;
  ChatApi chat;
  FilesApi files;

 private:
  // The one transfer of a Web API call: `body` POSTed to the root + `method`.
  HttpResult transfer(const std::string& method, std::string_view body, const Timeouts& timeouts);
  // What checkResponse tells of a reply's outcome, by the throwing switch.
  void reportReply(const PostOutcome& outcome);

  // The body of the latest request, kept so that the next one reuses its
  // memory. libcurl reads it during the transfer; requests are made one at a
  // time, like every use of the shared handle outside its lock.
  std::string body_;
  // The outcome of the latest throwing call, kept for the same reason.
  PostOutcome judged_;
};

}  // namespace pingwell
