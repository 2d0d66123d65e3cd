#pragma once
// The test message of the options panel: one post with the texts the panel
// shows, and what the artist is told about it.
#include <string>

namespace pingwell {

inline constexpr const char* kTestMessageHeading = "voro2 pingwell test message";

// What came of a test message, as the artist is told it.
struct TestOutcome {
  bool sent = false;
  std::string title;   // "Test message sent to #channel", "Test message not sent"
  std::string reason;  // why not: the service's error code, or what failed; empty when sent
  // When the reply told the token's scopes and some the plug-in uses are
  // missing, which and what for: "The token lacks files:write (previews),
  // users:read.email (e-mail addresses in Notify)"; empty otherwise.
  std::string scopes;
  // While a preview filter is applied: whether previews can be posted, such
  // as "Previews: the token lacks files:write"; empty otherwise.
  std::string previews;
  // With "Notify" set: whom the render's last messages will mention, such as
  // "Notify: <@U0ANNA0001>, <!here>"; empty otherwise.
  std::string notify;
};

// "voro2 pingwell test message", a line feed and the scene file name (the
// unsaved-scene text when there is none), its markup characters escaped as
// appendAsText does.
std::string composeTestMessage(const char* sceneFileName);

// Posts the test message with these three texts, while frame messages are
// paused too; a success ends the pause. Once it is sent, it names the
// scopes the token lacks, as the reply's x-oauth-scopes header tells them;
// while a preview filter is applied it tells whether previews can be posted
// (from that header; when the reply had none, by asking for an upload
// address), and with `notify` set it tells whom that will mention (looking
// up its e-mail addresses). Empty texts are refused before
// anything is sent. The token appears in no text of the outcome. Never
// throws.
TestOutcome sendTestMessage(const std::string& token, const std::string& userName,
                            const std::string& channel,
                            const std::string& notify = std::string()) noexcept;

// Shows the outcome in the host's message box, when there is one (none on a
// render node), the scopes', the previews' and the mentions' lines beneath
// the title, and writes it on the standard error stream. Never throws.
void showTestOutcome(const TestOutcome& outcome) noexcept;

}  // namespace pingwell
