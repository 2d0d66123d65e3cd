#include <curl/curl.h>
#include <gtest/gtest.h>

#include <memory>

#include "slack/client.h"

namespace pingwell {
namespace {

TEST(Escape, OnlyTheUnreservedSetIsLeftAsItIs) {
  SlackClient client("tok", true);
  const struct {
    std::string in, out;
  } cases[] = {
      {"", ""},
      {"AZaz09-._~", "AZaz09-._~"},
      {"scene.lws\nFrame Started: 12", "scene.lws%0AFrame%20Started%3A%2012"},
      {"R&D + Comp=1%#;", "R%26D%20%2B%20Comp%3D1%25%23%3B"},
      {"\"'\\/\r\t", "%22%27%5C%2F%0D%09"},
      {"\xC3\xA9\xFF\x80", "%C3%A9%FF%80"},
      {std::string("a\0b", 3), "a%00b"},
  };
  for (const auto& c : cases) EXPECT_EQ(client.escape(c.in), c.out) << c.in;
}

// The body writer encodes into a body it keeps from request to request:
// what is appended must not depend on what the string held before.
TEST(Escape, EncodingIntoAKeptStringAppendsTheSameText) {
  SlackClient client("tok", true);
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all += std::string(1, static_cast<char>(byte)) + "x";
  std::string kept = "kept ";
  appendPercentEncoded(kept, all);
  EXPECT_EQ(kept, "kept " + client.escape(all));
  appendPercentEncoded(kept, "");
  EXPECT_EQ(kept, "kept " + client.escape(all));
}

}  // namespace
}  // namespace pingwell
