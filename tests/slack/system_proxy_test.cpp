// The proxy set in Windows' Internet Options, read from its two lists. The
// lists are plain text, so these run on every build.
#include "slack/system_proxy.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace pingwell {
namespace {

TEST(SystemProxy, HttpsAddressesUseTheHttpsEntryElseTheServerForEveryProtocol) {
  const struct {
    const char* list;
    std::optional<std::string> proxy;
  } cases[] = {
      {"", std::nullopt},
      {"proxy.studio.example:8080", "proxy.studio.example:8080"},
      {"  proxy:3128 ;", "proxy:3128"},
      {"http=web:80;https=secure:8443;ftp=files:21", "secure:8443"},
      {"HTTPS=secure:8443", "secure:8443"},
      {"ftp=files:21;proxy:3128", "proxy:3128"},
      {"https=secure:8443 proxy:3128", "secure:8443"},
      // Only other protocols named: https goes direct.
      {"http=web:80;ftp=files:21", std::nullopt},
      {"https=", std::nullopt},
      {"http://proxy:8080", "http://proxy:8080"},
      {"https=http://secure:8443", "http://secure:8443"},
  };
  for (const auto& c : cases) EXPECT_EQ(proxyForHttps(c.list), c.proxy) << c.list;
}

TEST(SystemProxy, BypassListMatchesNamesWithWildcardsAndLocalNames) {
  const struct {
    const char* list;
    const char* host;
    bool bypassed;
  } cases[] = {
      {"", "slack.com", false},
      {"slack.com", "slack.com", true},
      {"SLACK.COM", "slack.com", true},
      {"*.slack.com", "slack.com", false},
      {"*.slack.com", "api.slack.com", true},
      {"*slack*", "slack.com", true},
      {"s*k.c*m", "slack.com", true},
      {"slack.co", "slack.com", false},
      {"*.studio.example;slack.com", "slack.com", true},
      {"*.studio.example slack.com", "slack.com", true},
      {"*", "slack.com", true},
      {"10.*", "10.1.2.3", true},
      {"10.*", "slack.com", false},
      // <local>: every name without a dot, and only those.
      {"<local>", "slack.com", false},
      {"<local>", "renderhost", true},
      {"<LOCAL>;*.studio.example", "renderhost", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(bypassesProxy(c.list, c.host), c.bypassed) << c.list << " / " << c.host;
  EXPECT_EQ(systemProxyFor("slack.com", "proxy:3128", "<local>;*.studio.example"), "proxy:3128");
  EXPECT_EQ(systemProxyFor("slack.com", "proxy:3128", "<local>;*.com"), std::nullopt);
  EXPECT_EQ(hostOfUrl("https://slack.com/api/"), "slack.com");
  EXPECT_EQ(hostOfUrl("https://slack.com:443/api/"), "slack.com");
}

// libcurl reads these for https addresses; any one of them set wins over the
// system's setting.
TEST(SystemProxy, ProxyEnvironmentVariablesWin) {
  const char* names[] = {"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"};
  for (const char* name : names) unsetenv(name);
  setenv("http_proxy", "http://only-for-http:80", 1);  // not read for https
  EXPECT_FALSE(proxyEnvironmentSet());
  for (const char* name : names) {
    setenv(name, "", 1);
    EXPECT_FALSE(proxyEnvironmentSet()) << name << " empty";
    setenv(name, "http://proxy:3128", 1);
    EXPECT_TRUE(proxyEnvironmentSet()) << name;
    unsetenv(name);
  }
  unsetenv("http_proxy");
}

}  // namespace
}  // namespace pingwell
