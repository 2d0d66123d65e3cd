// The pause after a network failure and the wait of a rate limit, on a clock
// the test moves by hand.
#include "plugin/posting/backoff.h"
#include "plugin/posting/skip_note.h"
#include "slack/reply_check.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace pingwell {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// What the client tells of a post whose transfer ended with `code`.
PostOutcome outcomeOf(CURLcode code) {
  PostOutcome outcome;
  if (code == CURLE_OK) {
    outcome.kind = PostOutcome::Kind::Sent;
  } else {
    outcome.kind = transferFailureKind(code);
    outcome.transferText = curl_easy_strerror(code);
  }
  return outcome;
}

PostBackoff::Clock::time_point fakeNow;
PostBackoff::Clock::time_point readFakeClock() { return fakeNow; }

class Backoff : public ::testing::Test {
 protected:
  void SetUp() override { fakeNow = PostBackoff::Clock::time_point(seconds(1000)); }
  void wait(PostBackoff::Clock::duration d) { fakeNow += d; }
  PostBackoff backoff{&readFakeClock};
};

TEST_F(Backoff, OnlyUnreachableServiceStartsThePause) {
  struct Case {
    CURLcode code;
    bool pauses;
  };
  const Case cases[] = {
      {CURLE_OPERATION_TIMEDOUT, true},
      {CURLE_COULDNT_CONNECT, true},
      {CURLE_COULDNT_RESOLVE_HOST, true},
      {CURLE_COULDNT_RESOLVE_PROXY, true},
      // The server was reached: TLS and certificate faults, resets, replies.
      {CURLE_OK, false},
      {CURLE_SSL_CACERT_BADFILE, false},
      {CURLE_PEER_FAILED_VERIFICATION, false},
      {CURLE_SSL_CONNECT_ERROR, false},
      {CURLE_SEND_ERROR, false},
      {CURLE_RECV_ERROR, false},
      {CURLE_GOT_NOTHING, false},
      {CURLE_PARTIAL_FILE, false},
      {CURLE_WRITE_ERROR, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(curl_easy_strerror(c.code));
    PostBackoff fresh{&readFakeClock};
    fresh.noteOutcome(outcomeOf(c.code));
    EXPECT_EQ(fresh.pausing(), c.pauses);
  }
}

TEST_F(Backoff, FrameMessagesWaitSixtySecondsAfterTheFailure) {
  EXPECT_FALSE(backoff.pausing());
  backoff.noteOutcome(outcomeOf(CURLE_OPERATION_TIMEDOUT));
  EXPECT_TRUE(backoff.pausing());
  wait(seconds(59) + milliseconds(999));
  EXPECT_TRUE(backoff.pausing());
  wait(milliseconds(1));
  EXPECT_FALSE(backoff.pausing());
}

TEST_F(Backoff, AnotherFailureRestartsThePauseTwiceAsLong) {
  backoff.noteOutcome(outcomeOf(CURLE_COULDNT_CONNECT));
  wait(seconds(50));
  // The render-completed message, always tried, times out as well.
  backoff.noteOutcome(outcomeOf(CURLE_OPERATION_TIMEDOUT));
  wait(seconds(119));
  EXPECT_TRUE(backoff.pausing());
  wait(seconds(1));
  EXPECT_FALSE(backoff.pausing());
}

// The pauses of a network that stays dead, each try made as soon as the
// pause before it has ended: 1, 2, 4 ... minutes, then four hours for ever.
TEST_F(Backoff, PauseDoublesWithEachFailureInARowUpToFourHours) {
  std::vector<long> pauses;
  for (int n = 0; n < 12; ++n) {
    backoff.noteOutcome(outcomeOf(CURLE_OPERATION_TIMEDOUT));
    long pause = 0;
    while (backoff.pausing()) {
      wait(seconds(1));
      ++pause;
    }
    pauses.push_back(pause);
  }
  EXPECT_EQ(pauses, (std::vector<long>{60, 120, 240, 480, 960, 1920, 3840, 7680, 14400, 14400,
                                       14400, 14400}));
  // A transfer that reached the service starts the count again.
  backoff.noteOutcome(outcomeOf(CURLE_OK));
  backoff.noteOutcome(outcomeOf(CURLE_COULDNT_RESOLVE_HOST));
  wait(seconds(60));
  EXPECT_FALSE(backoff.pausing());
}

TEST_F(Backoff, TransferThatReachedTheServerEndsThePause) {
  for (CURLcode reached : {CURLE_OK, CURLE_PEER_FAILED_VERIFICATION}) {
    backoff.noteOutcome(outcomeOf(CURLE_COULDNT_RESOLVE_HOST));
    wait(seconds(5));
    backoff.noteOutcome(outcomeOf(reached));
    EXPECT_FALSE(backoff.pausing()) << curl_easy_strerror(reached);
  }
}

TEST_F(Backoff, PostThatFailedBeforeAnyTransferChangesNothing) {
  backoff.noteOutcome(PostOutcome{});
  EXPECT_FALSE(backoff.pausing());
  backoff.noteOutcome(outcomeOf(CURLE_OPERATION_TIMEDOUT));
  backoff.noteOutcome(PostOutcome{});
  EXPECT_TRUE(backoff.pausing());
}

TEST_F(Backoff, SkipNoteIsOneLineWithTheFailureItsAgeAndTheNextTry) {
  backoff.noteOutcome(outcomeOf(CURLE_OPERATION_TIMEDOUT));
  wait(seconds(12) + milliseconds(700));
  EXPECT_EQ(skipNote("shot.lws\nFrame Started: 3", *backoff.skipReason()),
            "skipped \"shot.lws Frame Started: 3\": network failure 12 s ago (Timeout was "
            "reached), next try in 48 s");
  backoff.noteOutcome(outcomeOf(CURLE_OPERATION_TIMEDOUT));
  wait(seconds(119) + milliseconds(999));
  EXPECT_EQ(skipNote("shot.lws\r\nFrame Rendered: 3", *backoff.skipReason()),
            "skipped \"shot.lws  Frame Rendered: 3\": network failure 119 s ago (Timeout was "
            "reached), next try in 1 s");
}

// What the client tells of a reply that the service rate-limited.
PostOutcome rateLimited(long retryAfterSeconds) {
  PostOutcome outcome;
  outcome.kind = PostOutcome::Kind::ServiceError;
  outcome.errorName = "ratelimited";
  outcome.retryAfterSeconds = retryAfterSeconds;
  return outcome;
}

TEST_F(Backoff, RateLimitSkipsFrameMessagesForItsRetryAfterTime) {
  backoff.noteOutcome(outcomeOf(CURLE_OPERATION_TIMEDOUT));
  // The service answered: the network pause is over, the rate limit holds.
  backoff.noteOutcome(rateLimited(3));
  wait(seconds(1));
  EXPECT_TRUE(backoff.pausing());
  EXPECT_EQ(skipNote("shot.lws\nFrame Started: 4", *backoff.skipReason()),
            "skipped \"shot.lws Frame Started: 4\": rate-limited by the service 1 s ago "
            "(Retry-After 3 s), next try in 2 s");
  wait(seconds(2));
  EXPECT_FALSE(backoff.pausing());
  // A network failure after the wait pauses as after a first failure.
  backoff.noteOutcome(outcomeOf(CURLE_COULDNT_CONNECT));
  wait(seconds(60));
  EXPECT_FALSE(backoff.pausing());
}

TEST_F(Backoff, RenderCompletedWaitsTheRestOfARateLimitButNeverOverThirtySeconds) {
  EXPECT_EQ(backoff.rateLimitWait(), PostBackoff::Clock::duration::zero());
  backoff.noteOutcome(rateLimited(5));
  wait(seconds(2));
  EXPECT_EQ(backoff.rateLimitWait(), seconds(3));
  wait(seconds(3));
  EXPECT_EQ(backoff.rateLimitWait(), PostBackoff::Clock::duration::zero());
  backoff.noteOutcome(rateLimited(120));
  wait(seconds(10));
  EXPECT_EQ(backoff.rateLimitWait(), seconds(30));
  // A network failure is no rate limit: nothing to wait for.
  PostBackoff fresh{&readFakeClock};
  fresh.noteOutcome(outcomeOf(CURLE_OPERATION_TIMEDOUT));
  EXPECT_EQ(fresh.rateLimitWait(), PostBackoff::Clock::duration::zero());
}

}  // namespace
}  // namespace pingwell
