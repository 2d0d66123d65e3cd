// The pause after a network failure, on a clock the test moves by hand.
#include "plugin/backoff.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>

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

TEST_F(Backoff, AnotherFailureRestartsThePause) {
  backoff.noteOutcome(outcomeOf(CURLE_COULDNT_CONNECT));
  wait(seconds(50));
  // The render-completed message, always tried, times out as well.
  backoff.noteOutcome(outcomeOf(CURLE_OPERATION_TIMEDOUT));
  wait(seconds(50));
  EXPECT_TRUE(backoff.pausing());
  wait(seconds(10));
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

TEST_F(Backoff, SkipNoteIsOneLineWithTheFailureAndItsAge) {
  backoff.noteOutcome(outcomeOf(CURLE_OPERATION_TIMEDOUT));
  wait(seconds(12) + milliseconds(700));
  EXPECT_EQ(backoff.skipNote("shot.lws\nFrame Started: 3"),
            "skipped \"shot.lws Frame Started: 3\": network failure 12 s ago (Timeout was "
            "reached)");
}

}  // namespace
}  // namespace pingwell
