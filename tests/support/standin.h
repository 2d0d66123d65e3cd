// Test-side view of the local Slack stand-in that tools/sandbox starts.
//
// Inside the sandbox https://slack.com/ is a server on 127.0.0.1 that records
// every request and answers according to modes the test chooses:
//   ok             200 {"ok":true,"ts":"1700000000.000001"}, the ts one more
//                  for each request since the reset; chat.postMessage with a
//                  channel adds the channel's ID: {"ok":true,"channel":"C...",
//                  "ts":...}. chat.update, files.getUploadURLExternal, the
//                  upload to files.slack.com and files.completeUploadExternal
//                  get answers and checks of their own (tools/slack_standin.py)
//   upload_url=PREFIX  as ok, but files.getUploadURLExternal gives out PREFIX
//                  and the address's path (an address off the service's hosts)
//   error=TEXT     200 {"ok":false,"error":"TEXT"}
//   okfalse        200 {"ok":false}
//   array          200 [1,2]
//   nook           200 {"channel":"C1"}
//   okstring       200 {"ok":"true"}
//   html503        503 with an HTML page
//   empty          200 with an empty body
//   cutoff         200 {"ok":tr  (complete as HTTP, cut as JSON)
//   redirect       302 to https://elsewhere.example/api/chat.postMessage
//   slow           as ok, each answer 1 s late
//   noblocks       a workspace without blocks: a chat call with "blocks" gets
//                  200 {"ok":false,"error":"invalid_blocks"}, the rest as ok
//                  (with ok, blocks that break the service's rules get
//                  invalid_blocks too)
//   stall          records the request, then says nothing for up to 120 s
//   close          headers promise 100 bytes, 10 arrive, then the socket closes
//   large          200 with a valid JSON reply of about 5 MB
// setMode("error=x,ok") answers the first request with error=x and every
// later one with ok: request n gets entry min(n, last). Uploads count as
// requests too.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pingwell::testing {

using Pairs = std::vector<std::pair<std::string, std::string>>;

// One request as the stand-in received it.
struct RecordedRequest {
  std::string method;
  std::string path;
  int connection = 0;  // 1-based id of the TLS connection that carried it
  Pairs headers;       // as sent, in order
  std::string body;    // raw bytes
  Pairs params;        // form-decoded ("+" is a blank, %XX a byte), in order, duplicates kept
  std::string replyTs;  // the "ts" of an "ok" reply; "" for every other reply
  // The channel ID of an accepted chat.postMessage (one with a channel),
  // chat.update or files.completeUploadExternal; "" otherwise.
  std::string channelId;
  // The "error" of an {"ok":false} reply from an error=TEXT mode or from the
  // stand-in's own checks; for a refused upload "not_found", "token_sent" or
  // "length_mismatch". "" otherwise.
  std::string error;
  // The file ID that files.getUploadURLExternal gave out, or the one the
  // address of an upload belongs to; "" otherwise.
  std::string fileId;
  std::string uploadUrl;  // given out by files.getUploadURLExternal

  // A request to files.slack.com (an upload): its bytes are not in `body`,
  // which is empty, nor in `params`.
  struct Upload {
    std::size_t bytes = 0;
    std::string sha256;  // lower-case hex
    bool tokenSeen = false;
    bool lengthOk = false;  // as many bytes as files.getUploadURLExternal announced
  };
  std::optional<Upload> upload;

  // First value of the named parameter, "" when there is none.
  std::string param(const std::string& name) const;
  // How many times the parameter occurs.
  std::size_t count(const std::string& name) const;
  // First value of the header, name compared case-insensitively; "" when absent.
  std::string header(const std::string& name) const;
};

// A message chat.scheduleMessage handed to the stand-in (scheduled.json).
struct ScheduledMessage {
  std::string id;
  std::string channel;  // as the request named it
  std::string channelId;
  long long postAt = 0;
  std::string text;
  std::string threadTs;  // "" when none
  bool replyBroadcast = false;
  std::string state;  // "pending", "posted" or "deleted"
};

class StandIn {
 public:
  // Uses the state directory in PINGWELL_STANDIN_DIR. Outside the sandbox,
  // where it is not set, every call throws std::runtime_error; making one
  // does not, so a fixture that holds one can still skip its tests.
  StandIn();
  explicit StandIn(std::string dir);

  // Forgets the requests recorded so far and sets the modes.
  void reset(const std::string& modes = "ok");
  // Sets the modes (comma- or newline-separated) for the requests to come.
  void setMode(const std::string& modes);
  // Every request recorded since the last reset, in arrival order.
  std::vector<RecordedRequest> requests() const;
  // TLS handshakes completed since the stand-in started (not reset).
  int connections() const;
  // Every message scheduled since the stand-in started (not reset), in the
  // order they were made.
  std::vector<ScheduledMessage> scheduled() const;
  // users.lookupByEmail finds `id` for `address` from now on.
  void addUser(const std::string& address, const std::string& id) const;
  // The bytes of the file's accepted upload; "" when there is none.
  std::string uploaded(const std::string& fileId) const;
  // The state directory; throws std::runtime_error outside the sandbox.
  const std::string& dir() const;

 private:
  std::string dir_;
};

// True inside tools/sandbox: PINGWELL_STANDIN_DIR is set and slack.com is
// mapped to the loopback address, so nothing can leave the machine.
bool insideSandbox();

// Redirects the process's standard error (file descriptor 2) into a
// temporary file from construction until stop() or destruction. Catches
// fprintf(stderr), std::cerr, std::clog and plain write(2).
class StderrCapture {
 public:
  StderrCapture();
  ~StderrCapture();
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;

  // Restores standard error and returns everything captured. Later calls
  // return the same text.
  std::string stop();
  // Everything captured so far; capturing goes on.
  std::string text();

 private:
  struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, FileCloser> file_;
  int saved_ = -1;
};

}  // namespace pingwell::testing

// Skips the current test unless it runs inside tools/sandbox; a test that
// posts must never reach the real service.
#define PINGWELL_REQUIRE_SANDBOX()                                        \
  do {                                                                    \
    if (!::pingwell::testing::insideSandbox())                            \
      GTEST_SKIP() << "needs tools/sandbox (run the test through ctest)"; \
  } while (0)
