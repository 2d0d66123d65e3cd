// Checks the test harness with plain libcurl and its default settings (peer
// and host verification on), the way the client uses it.
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "standin.h"

namespace {

using pingwell::testing::Pairs;
using pingwell::testing::StandIn;
using pingwell::testing::StderrCapture;

constexpr const char* kPostUrl = "https://slack.com/api/chat.postMessage";

struct Reply {
  CURLcode code = CURLE_OK;
  long status = 0;
  std::string body;
  std::string headers;
};

std::size_t append(char* data, std::size_t size, std::size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

// One easy handle, kept across posts so that its connection can be reused.
class Poster {
 public:
  Poster() : handle_(curl_easy_init()) {
    if (!handle_) throw std::runtime_error("curl_easy_init failed");
  }

  Reply post(const std::string& body, long timeoutMs = 30000,
             const char* url = kPostUrl) {
    Reply reply;
    CURL* h = handle_.get();
    curl_easy_setopt(h, CURLOPT_URL, url);
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, append);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &reply.body);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, append);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &reply.headers);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, timeoutMs);
    reply.code = curl_easy_perform(h);
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &reply.status);
    return reply;
  }

 private:
  struct Cleanup {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
  };
  std::unique_ptr<CURL, Cleanup> handle_;
};

std::string env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// Inside the sandbox only, with a stand-in whose record starts empty.
class StandInServer : public ::testing::Test {
 protected:
  void SetUp() override {
    PINGWELL_REQUIRE_SANDBOX();
    standIn.reset("ok");
  }
  StandIn standIn;
};

TEST_F(StandInServer, RecordsTheExactBytesOfAVerifiedPost) {

  const std::string body =
      "channel=%23render-farm&text=caf%C3%A9+%26+%3D%0Aend%FF%80&text=second"
      "&empty=&bare&a+b%2Bc=%25zz%2&&token=xoxb-1";
  const Reply reply = Poster().post(body);
  ASSERT_EQ(reply.code, CURLE_OK) << curl_easy_strerror(reply.code);
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.body, R"({"ok":true,"ts":"1700000000.000001"})");

  const auto requests = standIn.requests();
  ASSERT_EQ(requests.size(), 1u);
  const auto& r = requests[0];
  EXPECT_EQ(r.method, "POST");
  EXPECT_EQ(r.path, "/api/chat.postMessage");
  EXPECT_EQ(r.body, body);
  EXPECT_EQ(r.header("content-type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(r.header("HOST"), "slack.com");
  const Pairs expected = {
      {"channel", "#render-farm"},
      {"text", "caf\xC3\xA9 & =\nend\xFF\x80"},
      {"text", "second"},
      {"empty", ""},
      {"bare", ""},
      {"a b+c", "%zz%2"},  // malformed escapes stay as they are
      {"token", "xoxb-1"},
  };
  EXPECT_EQ(r.params, expected);
  EXPECT_EQ(r.count("text"), 2u);
  EXPECT_EQ(r.param("text"), "caf\xC3\xA9 & =\nend\xFF\x80");
  EXPECT_EQ(r.param("missing"), "");
}

TEST_F(StandInServer, PostsOnOneHandleShareOneConnection) {
  const int before = standIn.connections();

  Poster poster;
  for (int i = 0; i < 3; ++i) {
    const Reply reply = poster.post("text=" + std::to_string(i));
    ASSERT_EQ(reply.code, CURLE_OK) << curl_easy_strerror(reply.code);
  }
  Poster other;
  ASSERT_EQ(other.post("text=3").code, CURLE_OK);

  const auto requests = standIn.requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[1].connection, requests[0].connection);
  EXPECT_EQ(requests[2].connection, requests[0].connection);
  EXPECT_NE(requests[3].connection, requests[0].connection);
  EXPECT_EQ(standIn.connections(), before + 2);
}

TEST_F(StandInServer, ModesAnswerInTurnAndTheLastOneRepeats) {
  struct Case {
    long status;
    std::string body;  // exact, or a prefix when prefixOnly
    bool prefixOnly = false;
  };
  const Case cases[] = {
      {200, R"({"ok":false,"error":"channel_not_found"})"},
      {200, R"({"ok":false})"},
      {200, "[1,2]"},
      {200, R"({"channel":"C1"})"},
      {200, R"({"ok":"true"})"},
      {503, "<!DOCTYPE html>", true},
      {200, ""},
      {200, R"({"ok":tr)"},
      {302, "<!DOCTYPE html>", true},
      {200, R"({"ok":true,"padding":"xxxx)", true},
      {200, R"({"ok":true,"padding":"xxxx)", true},  // the last mode repeats
  };
  standIn.reset(
      "error=channel_not_found, okfalse\narray,nook,okstring,html503,empty,cutoff,redirect,large");

  Poster poster;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE("request " + std::to_string(i));
    const Reply reply = poster.post("n=" + std::to_string(i));
    ASSERT_EQ(reply.code, CURLE_OK) << curl_easy_strerror(reply.code);
    EXPECT_EQ(reply.status, cases[i].status);
    if (cases[i].prefixOnly) {
      EXPECT_EQ(reply.body.rfind(cases[i].body, 0), 0u) << reply.body.substr(0, 80);
    } else {
      EXPECT_EQ(reply.body, cases[i].body);
    }
  }
  const Reply last = poster.post("n=last");
  EXPECT_GT(last.body.size(), 5'000'000u);
  EXPECT_TRUE(nlohmann::json::parse(last.body).at("ok").get<bool>());

  const auto requests = standIn.requests();
  ASSERT_EQ(requests.size(), std::size(cases) + 1);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(requests[i].param("n"), std::to_string(i));
  }
  // Every reply kept the connection open.
  EXPECT_EQ(requests.back().connection, requests.front().connection);
}

TEST_F(StandInServer, RedirectPointsAwayAndIsNotFollowedByDefault) {
  standIn.reset("redirect");
  const Reply reply = Poster().post("text=x");
  ASSERT_EQ(reply.code, CURLE_OK);
  EXPECT_EQ(reply.status, 302);
  EXPECT_NE(reply.headers.find("Location: https://elsewhere.example/api/chat.postMessage\r\n"),
            std::string::npos)
      << reply.headers;
  EXPECT_EQ(standIn.requests().size(), 1u);
}

TEST_F(StandInServer, BrokenTransfersFailInLibcurlButAreRecorded) {
  standIn.reset("close,stall,ok");

  const Reply closed = Poster().post("text=close");
  EXPECT_NE(closed.code, CURLE_OK);
  EXPECT_TRUE(closed.code == CURLE_PARTIAL_FILE || closed.code == CURLE_RECV_ERROR)
      << curl_easy_strerror(closed.code);

  const Reply stalled = Poster().post("text=stall", 1000);
  EXPECT_EQ(stalled.code, CURLE_OPERATION_TIMEDOUT) << curl_easy_strerror(stalled.code);

  // The stalled connection is still held; another one is served anyway.
  const Reply after = Poster().post("text=after");
  EXPECT_EQ(after.code, CURLE_OK) << curl_easy_strerror(after.code);
  EXPECT_EQ(after.body, R"({"ok":true,"ts":"1700000000.000003"})");

  std::vector<std::string> texts;
  for (const auto& request : standIn.requests()) texts.push_back(request.param("text"));
  EXPECT_EQ(texts, (std::vector<std::string>{"close", "stall", "after"}));
}

TEST_F(StandInServer, NothingButTheStandInIsReachable) {
  EXPECT_EQ(Poster().post("x=1", 5000, "https://api.slack.com/api/chat.postMessage").code,
            CURLE_PEER_FAILED_VERIFICATION)
      << "the certificate names slack.com alone";
  const CURLcode elsewhere = Poster().post("x=1", 5000, "https://example.com/").code;
  EXPECT_TRUE(elsewhere == CURLE_COULDNT_RESOLVE_HOST || elsewhere == CURLE_COULDNT_CONNECT)
      << curl_easy_strerror(elsewhere);
  EXPECT_TRUE(standIn.requests().empty());
}

// Runs in the sandbox variants (see CMakeLists.txt); skipped in the plain one.
TEST(StandInVariant, UntrustedOrMissingServerFailsBeforeAnythingIsSent) {
  PINGWELL_REQUIRE_SANDBOX();
  const std::string cert = env("PINGWELL_SANDBOX_CERT");
  const std::string listener = env("PINGWELL_SANDBOX_LISTENER");
  CURLcode expected;
  if (listener == "none") {
    expected = CURLE_COULDNT_CONNECT;
  } else if (listener == "silent") {
    expected = CURLE_OPERATION_TIMEDOUT;
  } else if (cert == "otherca" || cert == "otherhost" || cert == "expired") {
    expected = CURLE_PEER_FAILED_VERIFICATION;
  } else {
    GTEST_SKIP() << "only meaningful with a --cert or listener variant of tools/sandbox";
  }
  StandIn standIn;
  standIn.reset("ok");
  const Reply reply = Poster().post("text=secret&token=xoxb-secret", 1500);
  EXPECT_EQ(reply.code, expected) << curl_easy_strerror(reply.code);
  EXPECT_TRUE(standIn.requests().empty());
}

TEST(StderrCapture, CollectsEveryWayOfWritingToStandardError) {
  StderrCapture outer;
  std::string inner;
  {
    StderrCapture capture;
    std::fprintf(stderr, "one %d\n", 1);
    std::cerr << "two" << std::endl;
    std::clog << "three\n";
    ASSERT_EQ(::write(STDERR_FILENO, "four\n", 5), 5);
    EXPECT_EQ(capture.text(), "one 1\ntwo\nthree\nfour\n");
    std::cerr << "five\n";
    inner = capture.stop();
    std::cerr << "after\n";  // goes to the stream that was there before
    EXPECT_EQ(capture.text(), inner);
  }
  EXPECT_EQ(inner, "one 1\ntwo\nthree\nfour\nfive\n");
  EXPECT_EQ(outer.stop(), "after\n");
}

}  // namespace
