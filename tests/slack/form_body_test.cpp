#include "slack/form_body.h"

#include <gtest/gtest.h>

#include "slack/json_text.h"

namespace pingwell {
namespace {

using nlohmann::json;

TEST(FormBody, ParametersGoInByteOrderOfTheirNamesAndTheTokenLast) {
  json params = json::object();
  params["text"] = "t";
  params["channel"] = "c";
  params["username"] = "u";
  params["Zeta"] = "z";               // upper case sorts before lower case
  params["\xC3\xA9t\xC3\xA9"] = "e";  // bytes of 128 and above sort last
  params["user"] = "prefix";          // a prefix comes before the longer name
  EXPECT_EQ(formBody(params, "xoxb-1"),
            "Zeta=z&channel=c&text=t&user=prefix&username=u&\xC3\xA9t\xC3\xA9=e&token=xoxb-1");
}

TEST(FormBody, NoParametersGiveTheTokenAlone) {
  EXPECT_EQ(formBody(json(), "tok"), "token=tok");
  EXPECT_EQ(formBody(json::object(), "tok"), "token=tok");
  EXPECT_EQ(formBody(json::array(), "tok"), "token=tok");
}

TEST(FormBody, EachKindOfValueIsWrittenAsItsCompactJsonText) {
  const struct {
    json value;
    std::string expected;
  } cases[] = {
      {"", "v="},
      {"say \"hi\"", "v=say \\\"hi\\\""},
      {"back\\slash", "v=back\\\\slash"},
      {"two\nlines\ttab", "v=two\\nlines\\ttab"},
      {std::string("\x01\x1f", 2), "v=\\u0001\\u001f"},
      {5, "v=5"},
      {-2.5, "v=-2.5"},
      {true, "v=true"},
      {false, "v=false"},
      {nullptr, "v=null"},
      {json::array({1, 2}), "v=[1,2]"},
      {json{{"b", 1}, {"a", "x"}}, "v={\"a\":\"x\",\"b\":1}"},
      {"a&b=c d", "v=a&b=c d"},  // the writer copies; encoding is the caller's
  };
  for (const auto& c : cases) {
    EXPECT_EQ(formBody(json{{"v", c.value}}, "T"), c.expected + "&token=T") << c.value.dump();
  }
}

TEST(FormBody, BytesThatAreNotUtf8AreCopiedNotRejected) {
  const std::string latin1 = "caf\xE9 \xFF\x80";
  EXPECT_EQ(formBody(json{{"v", latin1}}, "T"), "v=" + latin1 + "&token=T");
  EXPECT_EQ(compactJson(json::array({latin1})), "[\"" + latin1 + "\"]");
}

TEST(FormBody, CompactTextMatchesTheLibraryForValidText) {
  const json doc =
      json::parse(R"({"a":[1,2.5,"x\"y",null,true],"b":{"c":"\u00e9\n\u0007"},"d":""})");
  EXPECT_EQ(compactJson(doc), doc.dump());
}

TEST(FormBody, ACallersTokenParameterDoesNotReplaceTheClientsToken) {
  EXPECT_EQ(formBody(json{{"token", "evil"}, {"a", "1"}}, "mine"), "a=1&token=evil&token=mine");
}

TEST(FormBody, AReusedBufferHoldsTheNewBodyOnly) {
  std::string body = formBody(json{{"text", std::string(300, 'x')}}, "T");
  writeFormBody(body, json{{"a", "1"}}, "T");
  EXPECT_EQ(body, "a=1&token=T");
  writeFormBody(body, json(), "T");
  EXPECT_EQ(body, "token=T");
}

TEST(FormBody, ParametersThatAreNotAnObjectAreRefusedBeforeAnythingIsSent) {
  for (const json& bad : {json("text"), json(5), json(true), json::array({1})}) {
    EXPECT_THROW(formBody(bad, "T"), json::invalid_iterator) << bad.dump();
  }
}

}  // namespace
}  // namespace pingwell
