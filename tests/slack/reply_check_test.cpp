#include "slack/reply_check.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "slack/client.h"
#include "support/standin.h"

namespace pingwell {
namespace {

using nlohmann::json;
using Kind = ReplyVerdict::Kind;

TEST(ReplyCheck, OnlyTheJsonValueTrueInOkPasses) {
  const struct {
    const char* reply;
    Kind kind;
    const char* errorJson;
  } cases[] = {
      {R"({"ok":true})", Kind::Passed, ""},
      {R"({"ok":true,"error":"ignored"})", Kind::Passed, ""},
      {R"([1,2])", Kind::Passed, ""},             // not an object: nothing to test
      {R"({"channel":"C1"})", Kind::Passed, ""},  // no "ok": nothing to test
      {R"("ok")", Kind::Passed, ""},
      {R"({"ok":false,"error":"invalid_auth"})", Kind::NamedError, R"("invalid_auth")"},
      {R"({"ok":"true","error":{"code":7}})", Kind::NamedError, R"({"code":7})"},
      {R"({"ok":1,"error":null})", Kind::NamedError, "null"},
      {R"({"ok":false})", Kind::UnknownError, ""},
      {R"({"ok":"true"})", Kind::UnknownError, ""},
      {R"({"ok":null})", Kind::UnknownError, ""},
  };
  for (const auto& c : cases) {
    const ReplyVerdict verdict = judgeReply(json::parse(c.reply));
    EXPECT_EQ(verdict.kind, c.kind) << c.reply;
    EXPECT_EQ(verdict.errorJson, c.errorJson) << c.reply;
  }
}

TEST(ReplyCheck, ANamedErrorIsOneWarningLineAndNeverThrows) {
  for (const bool throwing : {true, false}) {
    SlackClient client("tok", throwing);
    testing::StderrCapture err;
    EXPECT_NO_THROW(client.checkResponse(
        "chat.postMessage", json::parse(R"({"ok":false,"error":"channel_not_found"})")));
    EXPECT_EQ(
        err.text(),
        "[pingwell] warning! chat.postMessage checkResponse() failed \"channel_not_found\"\n");
  }
}

TEST(ReplyCheck, AnUnnamedFailureThrowsOrIsWrittenByTheSwitch) {
  const json reply = json::parse(R"({"ok":false})");
  {
    SlackClient client("tok", true);
    testing::StderrCapture err;
    try {
      client.checkResponse("chat.postMessage", reply);
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "checkResponse() unknown error.");
    }
    EXPECT_EQ(err.text(), "");
  }
  {
    SlackClient client("tok", false);
    testing::StderrCapture err;
    EXPECT_NO_THROW(client.checkResponse("chat.postMessage", reply));
    EXPECT_EQ(err.text(), "[pingwell] error checkResponse() unknown error.\n");
  }
}

TEST(ReplyCheck, ADeeplyNestedErrorIsWrittenWithoutExhaustingTheStack) {
  constexpr size_t kDepth = 100000;  // a 200 kB reply
  const std::string nested = std::string(kDepth, '[') + std::string(kDepth, ']');
  SlackClient client("tok", true);
  testing::StderrCapture err;
  client.checkResponse("chat.postMessage", json::parse(R"({"ok":false,"error":)" + nested + "}"));
  EXPECT_EQ(err.text(),
            "[pingwell] warning! chat.postMessage checkResponse() failed " + nested + "\n");
}

}  // namespace
}  // namespace pingwell
