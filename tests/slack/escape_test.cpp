#include <gtest/gtest.h>

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

}  // namespace
}  // namespace pingwell
