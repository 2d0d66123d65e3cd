#include <curl/curl.h>
#include <gtest/gtest.h>

#include <memory>

#include "slack/client.h"
#include "slack/percent_encoding.h"

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

// The encoding the service has always been sent is libcurl's: every byte,
// and every byte between others, must come out as curl_easy_escape writes it.
TEST(Escape, EveryByteIsEncodedAsLibcurlEncodesIt) {
  struct CurlFree {
    void operator()(char* p) const noexcept { curl_free(p); }
  };
  const auto curlEscape = [](const std::string& text) {
    std::unique_ptr<char, CurlFree> encoded(
        curl_easy_escape(nullptr, text.data(), static_cast<int>(text.size())));
    return std::string(encoded.get());
  };
  std::string all;
  for (int byte = 0; byte < 256; ++byte) {
    const std::string one(1, static_cast<char>(byte));
    std::string ours;
    appendPercentEncoded(ours, one);
    EXPECT_EQ(ours, curlEscape(one)) << byte;
    all += one + "x";
  }
  std::string ours = "kept ";
  appendPercentEncoded(ours, all);
  EXPECT_EQ(ours, "kept " + curlEscape(all));
}

}  // namespace
}  // namespace pingwell
