// The two halves of the call path that need no network: the body a request
// becomes, and what a transfer comes to.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include "slack/api_request.h"
#include "slack/post_outcome.h"

namespace pingwell {
namespace {

TEST(RequestBody, EveryNameAndValueIsEncodedInNameOrderWithTheTokenLast) {
  ApiRequest request;
  request.webApi("chat.update");
  request.add("ts", "1700000000.000001");
  request.add("text", "shot.lws\nFrame 12 of 250 rendered (5 %)");
  request.add("channel", "C0&token=x");
  request.add("a name", "");
  std::string body = "left over from the last request";
  writeRequestBody(body, request, "xoxb-1");
  EXPECT_EQ(body,
            "a%20name=&channel=C0%26token%3Dx&text=shot.lws%0AFrame%2012%20of%20250%20rendered%20"
            "%285%20%25%29&ts=1700000000.000001&token=xoxb-1");

  // A request made again over the same object holds only its own fields.
  request.webApi("files.getUploadURLExternal");
  request.add("length", "412");
  request.add("filename", "shot_0001.jpg");
  writeRequestBody(body, request, "xoxb-1");
  EXPECT_EQ(body, "filename=shot_0001.jpg&length=412&token=xoxb-1");
  EXPECT_EQ(request.find("text"), nullptr);
}

// What the caller is told of each kind of transfer: what it was, what to
// show, and what the reply handed back.
TEST(CallOutcome, EachTransferIsJudgedOnceIntoOneValue) {
  using Kind = PostOutcome::Kind;
  const auto completed = [](long status, std::string body) {
    HttpResult result;
    result.status = status;
    result.body = std::move(body);
    return result;
  };
  const auto failed = [](CURLcode code) {
    HttpResult result;
    result.failed = true;
    result.code = code;
    return result;
  };
  HttpResult limited = completed(429, R"({"ok":false,"error":"ratelimited"})");
  limited.retryAfterSeconds = 7;
  const struct {
    const char* what;
    std::string method;
    HttpResult result;
    Kind kind;
    std::string line;  // the diagnostic line, without its prefix
  } cases[] = {
      {"sent", "chat.postMessage",
       completed(200, R"({"ok":true,"channel":"C024BE91L","ts":"1700000000.000001"})"),
       Kind::Sent, ""},
      {"named error", "chat.update",
       completed(200, R"({"ok":false,"error":"message_not_found"})"), Kind::ServiceError,
       "warning! chat.update checkResponse() failed \"message_not_found\""},
      {"unnamed error", "chat.update", completed(200, R"({"ok":false})"),
       Kind::UnconfirmedReply, "error checkResponse() unknown error."},
      {"no ok", "chat.update", completed(200, R"({"channel":"C1"})"), Kind::UnconfirmedReply,
       ""},
      {"html page", "chat.postMessage", completed(503, "<html>busy</html>"),
       Kind::UnreadableReply, "error [json.exception.parse_error.101]"},
      {"rate limit", "chat.update", limited, Kind::ServiceError,
       "warning! chat.update checkResponse() failed \"ratelimited\""},
      {"time-out", "chat.update", failed(CURLE_OPERATION_TIMEDOUT), Kind::TimedOut,
       "error curl_easy_perform() failed Timeout was reached"},
      {"refused", "chat.update", failed(CURLE_COULDNT_CONNECT), Kind::Unreachable,
       "error curl_easy_perform() failed Couldn't connect to server"},
      {"upload taken", "", completed(200, "OK - 412"), Kind::Sent, ""},
      {"upload refused", "", completed(400, "bad length"), Kind::UnconfirmedReply,
       "error the upload was refused with HTTP status 400"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const PostOutcome outcome = judgeTransfer(c.method, c.result);
    EXPECT_EQ(outcome.kind, c.kind);
    EXPECT_EQ(outcomeLine(outcome).rfind(c.line, 0), 0u) << outcomeLine(outcome);
    EXPECT_EQ(c.line.empty(), outcomeLine(outcome).empty());
  }
  const PostOutcome sent = judgeTransfer("chat.postMessage", cases[0].result);
  EXPECT_EQ(sent.channelId, "C024BE91L");
  EXPECT_EQ(sent.ts, "1700000000.000001");
  EXPECT_EQ(judgeTransfer("chat.update", limited).retryAfterSeconds, 7);
  EXPECT_EQ(judgeTransfer("chat.update", completed(429, "{}")).retryAfterSeconds, 1);
  const PostOutcome address = judgeTransfer(
      "files.getUploadURLExternal",
      completed(200, R"({"ok":true,"upload_url":"https://files.slack.com/u/1","file_id":"F1"})"));
  EXPECT_EQ(address.uploadUrl, "https://files.slack.com/u/1");
  EXPECT_EQ(address.fileId, "F1");
}

}  // namespace
}  // namespace pingwell
