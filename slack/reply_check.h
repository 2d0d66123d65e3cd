#pragma once
// The one judge of a transfer and its reply, free of I/O: what a transfer
// came to, told as a PostOutcome. Every caller of the client, the throwing
// operations included, learns what a reply says from here alone.
#include <exception>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "slack/http_result.h"
#include "slack/post_outcome.h"

namespace pingwell {

// What the throwing operations keep of a reply beside its outcome: the
// parsed document they return, and the parser's own exception for a reply
// it cannot read (not JSON, a number past double's range), which they let
// through.
struct ReplyDocument {
  nlohmann::json json;
  std::exception_ptr parseFailure;
};

// The kind of a failed transfer, from libcurl's result code (not 0).
PostOutcome::Kind transferFailureKind(int curlCode) noexcept;

// What a transfer of `method` (empty: an upload) came to: the transfer
// classified, the reply parsed and judged once. With `document`, the parsed
// reply (or the parser's exception) is handed over there.
PostOutcome judgeTransfer(const std::string& method, const HttpResult& result,
                          ReplyDocument* document = nullptr);
// The same, written over `outcome`, whose strings keep their memory: for a
// caller that judges one transfer after another.
void judgeTransfer(PostOutcome& outcome, const std::string& method, const HttpResult& result,
                   ReplyDocument* document);

// What the body `text` of a Web API reply to `method` says, whatever became
// of its transfer (the part of judgeTransfer after the transfer), written
// over `outcome`.
void judgeReplyText(PostOutcome& outcome, const std::string& method, std::string_view text,
                    ReplyDocument* document);

// What the parsed reply `reply` to `method` says. Only the JSON value true
// in "ok" passes; a reply without "ok" is neither sent nor an error.
PostOutcome judgeReply(const std::string& method, const nlohmann::json& reply);

// Whether `url` may receive an upload: https, and a host that is slack.com
// or ends in ".slack.com" (letters in any case), with no user name or
// password in it. Read by libcurl's URL parser.
bool isSlackUploadAddress(std::string_view url);

}  // namespace pingwell
