// checkResponse: what the throwing operations tell of a parsed reply.
#include <gtest/gtest.h>

#include <stdexcept>

#include "slack/client.h"
#include "support/standin.h"

namespace pingwell {
namespace {

using nlohmann::json;

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
