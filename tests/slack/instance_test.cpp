// The process-wide client: one per process, made by the first caller.
#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

#include "slack/client.h"
#include "support/standin.h"

namespace pingwell {
namespace {

TEST(ClientInstance, ConcurrentFirstCallsGetTheOneClientOfTheFirstToken) {
  testing::StandIn standin;
  standin.reset("ok");
  std::vector<SlackClient*> seen(8, nullptr);
  {
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i) {
      threads.emplace_back(
          [&seen, i] { seen[i] = &SlackClient::instance("token-" + std::to_string(i), true); });
    }
    for (auto& t : threads) t.join();
  }
  EXPECT_EQ(std::set<SlackClient*>(seen.begin(), seen.end()).size(), 1u);
  const std::string firstToken = seen[0]->token;

  // Later calls change neither the token nor the error rule.
  SlackClient& later = SlackClient::instance("another-token", false);
  EXPECT_EQ(&later, seen[0]);
  EXPECT_TRUE(later.throwErrors);
  later.chat.postMessage("hi", "#c");
  const auto requests = standin.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].param("token"), firstToken);
  EXPECT_EQ(requests[0].count("token"), 1u);
}

}  // namespace
}  // namespace pingwell
