// The two halves of the call path that need no network: the body a request
// becomes, and what a transfer comes to.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include "slack/api_request.h"
#include "slack/reply_check.h"

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

  // Only RFC 3986's unreserved bytes are left as they are.
  const struct {
    std::string in, out;
  } values[] = {
      {"AZaz09-._~", "AZaz09-._~"},
      {"R&D + Comp=1%#;", "R%26D%20%2B%20Comp%3D1%25%23%3B"},
      {"\"'\\/\r\t", "%22%27%5C%2F%0D%09"},
      {"\xC3\xA9\xFF\x80", "%C3%A9%FF%80"},
      {std::string("a\0b", 3), "a%00b"},
  };
  for (const auto& v : values) {
    request.webApi("chat.postMessage");
    request.add("v", v.in);
    writeRequestBody(body, request, "");
    EXPECT_EQ(body, "v=" + v.out + "&token=") << v.in;
  }
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
      {"number past double", "chat.update", completed(200, R"({"ok":true,"n":1e999})"),
       Kind::UnreadableReply, "error [json.exception.out_of_range.406]"},
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

// What a reply says: only the JSON value true in "ok" passes; what it hands
// back is taken only in the shape the service gives it; an upload address
// only when it is https on slack.com; and the caller is told whether a
// refusal is for good and what the artist can mend.
TEST(CallOutcome, TheReplyIsJudgedAndWhatItHandsBackCheckedOnce) {
  using Kind = PostOutcome::Kind;
  const struct {
    const char* reply;
    Kind kind;
    const char* errorJson;
    const char* failure;
  } replies[] = {
      {R"({"ok":true})", Kind::Sent, "", ""},
      {R"({"ok":true,"error":"ignored"})", Kind::Sent, "", ""},
      {R"([1,2])", Kind::UnconfirmedReply, "", ""},  // not an object: nothing to test
      {R"({"channel":"C1"})", Kind::UnconfirmedReply, "", ""},
      {R"({"ok":false,"error":"invalid_auth"})", Kind::ServiceError, R"("invalid_auth")", ""},
      {R"({"ok":"true","error":{"code":7}})", Kind::ServiceError, R"({"code":7})", ""},
      {R"({"ok":1,"error":null})", Kind::ServiceError, "null", ""},
      {R"({"ok":"true"})", Kind::UnconfirmedReply, "", "checkResponse() unknown error."},
      {R"({"ok":null})", Kind::UnconfirmedReply, "", "checkResponse() unknown error."},
  };
  for (const auto& r : replies) {
    const PostOutcome outcome = judgeReply("chat.postMessage", nlohmann::json::parse(r.reply));
    EXPECT_EQ(outcome.kind, r.kind) << r.reply;
    EXPECT_EQ(outcome.errorJson, r.errorJson) << r.reply;
    EXPECT_EQ(outcome.failure, r.failure) << r.reply;
  }

  // IDs and time stamps go back into later requests: nothing else is taken.
  for (const char* odd : {R"("1.2&channel=x")", R"("ts")", R"("c0ffee")", R"(7)",
                          R"("111111111111111111111111111111111")"}) {
    const PostOutcome outcome = judgeReply(
        "chat.postMessage",
        nlohmann::json::parse(std::string(R"({"ok":true,"channel":)") + odd + ",\"ts\":" + odd + "}"));
    EXPECT_EQ(outcome.kind, Kind::Sent) << odd;
    EXPECT_EQ(outcome.channelId, "") << odd;
    EXPECT_EQ(outcome.ts, "") << odd;
  }

  const auto address = [](const std::string& url) {
    return judgeReply("files.getUploadURLExternal",
                      nlohmann::json{{"ok", true}, {"upload_url", url}, {"file_id", "F1"}});
  };
  for (const char* taken : {"https://files.slack.com/upload/v1/x", "https://slack.com/u",
                            "HTTPS://Files.SLACK.com/u", "https://files.slack.com:443/u"}) {
    EXPECT_EQ(address(taken).kind, Kind::Sent) << taken;
    EXPECT_EQ(address(taken).uploadUrl, taken);
  }
  for (const char* foreign :
       {"http://files.slack.com/u", "https://evilslack.com/u", "https://slack.com.evil.net/u",
        "https://slack.com@evil.net/u", "https://files.slack.com:pw@evil.net/u",
        "https://user@files.slack.com/u", "https://evil.net/files.slack.com",
        "https://evil.net?.slack.com", "https://evil.net#.slack.com", "ftp://files.slack.com/u",
        "files.slack.com/u", "https://files.slack.com /u", "https://127.0.0.1/u"}) {
    const PostOutcome outcome = address(foreign);
    EXPECT_EQ(outcome.kind, Kind::UnusableReply) << foreign;
    EXPECT_EQ(outcome.uploadUrl, "") << foreign;
    EXPECT_EQ(outcomeLine(outcome, "preview of a.lws frame 1"),
              "error preview of a.lws frame 1: the upload address is not an https address on "
              "slack.com");
  }
  EXPECT_EQ(outcomeLine(address(""), "preview"), "error preview: the service gave no upload address");

  const auto refusal = [](const char* method, const char* error) {
    return judgeReply(method, nlohmann::json{{"ok", false}, {"error", error}});
  };
  for (const char* gone :
       {"message_not_found", "cant_update_message", "edit_window_closed", "channel_not_found"}) {
    EXPECT_TRUE(refusal("chat.update", gone).refusedForGood()) << gone;
  }
  EXPECT_FALSE(refusal("chat.update", "ratelimited").refusedForGood());
  EXPECT_FALSE(refusal("chat.update", "internal_error").refusedForGood());
  EXPECT_EQ(outcomeLine(refusal("files.getUploadURLExternal", "missing_scope")),
            "warning! files.getUploadURLExternal checkResponse() failed \"missing_scope\": the "
            "token lacks files:write");
  EXPECT_EQ(refusal("chat.postMessage", "missing_scope").hint, "");
}

}  // namespace
}  // namespace pingwell
