#include "slack/reply_parse.h"

#include <gtest/gtest.h>

#include <string>

namespace pingwell {
namespace {

using nlohmann::json;

// The same tree: equal values of the same type at every node (json's ==
// takes 5 and 5u, or 1 and 1.0, for equal).
::testing::AssertionResult sameTree(const json& a, const json& b) {
  if (a.type() != b.type()) {
    return ::testing::AssertionFailure() << a.dump() << " has another type than " << b.dump();
  }
  if (a != b) return ::testing::AssertionFailure() << a.dump() << " != " << b.dump();
  if (a.is_structured()) {
    auto ia = a.cbegin();
    for (auto ib = b.cbegin(); ib != b.cend(); ++ia, ++ib) {
      const auto inner = sameTree(*ia, *ib);
      if (!inner) return inner;
    }
  }
  return ::testing::AssertionSuccess();
}

// Each text gives what the library gives: the same document, or an
// exception of the same type with the same message.
TEST(ReplyParse, EveryTextEndsAsTheLibraryEndsIt) {
  const std::string texts[] = {
      R"({"ok":true})",
      " \t\r\n{ \"ok\" : false , \"error\" : \"invalid_auth\" }\n",
      R"({"ok":true,"channel":"C1","ts":"1503435956.000247","message":{"text":"a\nb \"q\" \\ \/ \b\f\r\t","n":[1,-2,0,-0,123456789012345678,-123456789012345678,[],{}]}})",
      R"({"a":1,"a":{"b":2},"a":[3]})",  // the last of equal keys wins
      R"([true,false,null,"x",[[[]]]])",
      R"("ok")", "5", "-0", "null",
      // Left to the library: each is read by it alone.
      R"({"n":1.5})", R"({"n":1e3})", R"({"n":-1E-3})", "1234567890123456789", "18446744073709551615",
      "18446744073709551616", "-9223372036854775809", R"({"t":"caf\u00e9"})", "{\"t\":\"caf\xC3\xA9\"}",
      "\xEF\xBB\xBF{\"ok\":true}", std::string(40, '[') + std::string(40, ']'),
      // Not JSON: the library's parse_error.
      "", " ", "<html>503</html>", R"({"ok":true)", R"({"ok":true}})", R"({"ok":true} x)", "{\"ok\":tru}",
      "{\"ok\":truex}", R"({"ok" true})", R"({ok:true})", R"({"a":1,})", "[1,]", "[,1]", "01", "-", "-a",
      "1.", "{\"t\":\"a\x01\"}", "{\"t\":\"a\\x\"}", "{\"t\":\"cut", "{\"ok\":\xFF}", "\"\xFF\"",
      std::string("{\"ok\":true}\0", 12), "// c\n{}",
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    json expected;
    std::string expectedError;
    try {
      expected = json::parse(text);
    } catch (const json::exception& e) {
      expectedError = e.what();
    }
    try {
      const json got = parseReply(text);
      EXPECT_EQ(expectedError, "");
      EXPECT_TRUE(sameTree(got, expected));
    } catch (const json::parse_error& e) {
      EXPECT_EQ(e.what(), expectedError);
    } catch (const json::exception& e) {  // out_of_range of a number past double's range
      EXPECT_EQ(e.what(), expectedError);
    }
  }
}

TEST(ReplyParse, ADeepReplyIsReadWithoutExhaustingTheStack) {
  constexpr size_t kDepth = 100000;
  const std::string nested = std::string(kDepth, '[') + std::string(kDepth, ']');
  const json reply = parseReply(R"({"ok":false,"error":)" + nested + "}");
  EXPECT_TRUE(reply["error"].is_array());
}

}  // namespace
}  // namespace pingwell
