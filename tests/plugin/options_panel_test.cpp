// The options panel driven by a scripted user on the fake host's panels.
#include "plugin/options_panel/options_panel.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <nlohmann/json.hpp>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "fake_host.h"
#include "plugin/notifier/notifier.h"
#include "support/instance.h"
#include "support/standin.h"

namespace pingwell {
namespace {

using namespace testing;  // the fake host and the instance helpers

class Panel : public ::testing::Test {
 protected:
  void SetUp() override {
    host.keepServices();
    host.writeSettings("xoxb-old\r\nOld Bot\r\n#old\r\n");
  }
  FakeHost host;
};

TEST_F(Panel, ShowsFourteenControlsInOrderWithExactLabels) {
  Instance instance;
  host.script.pressOk = false;
  EXPECT_EQ(runOptionsPanel(instance.get()), nullptr);
  ASSERT_EQ(host.runs().size(), 1u);
  const testing::FakePanelRun& run = host.lastRun();
  EXPECT_EQ(run.title, "voro2 pingwell");
  EXPECT_EQ(run.openFlags, 3);
  struct Expected {
    const char* kind;
    const char* label;
    int type;
    int width;
  };
  // The button keeps the token field's width: one descriptor serves all.
  const Expected expected[] = {
      {"EditControl", "Token", 1, 100},
      {"ButtonControl", "Get Token", 2, 100},
      {"EditControl", "Name", 1, 50},
      {"EditControl", "Channel", 1, 50},
      {"EditControl", "Notify", 1, 50},
      {"TextControl", "", 12, -1},
      {"BoolControl", "Message when render completes   ", 8, -1},
      {"BoolControl", "Message when a new frame renders", 8, -1},
      {"BoolControl", "Message when a frame is complete ", 8, -1},
      {"BoolControl", "Add render times", 8, -1},
      {"BoolControl", "Frame messages in a thread", 8, -1},
      {"BoolControl", "Progress in one message", 8, -1},
      {"NumControl", "Alert after minutes without a frame", 2, -1},
      {"ButtonControl", "Send Test Message", 2, -1},
  };
  ASSERT_EQ(run.controls.size(), std::size(expected));
  for (size_t n = 0; n < std::size(expected); ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(run.controls[n]->kind, expected[n].kind);
    EXPECT_EQ(run.controls[n]->label, expected[n].label);
    EXPECT_EQ(run.controls[n]->desc.type, expected[n].type);
    if (expected[n].width >= 0) {
      EXPECT_EQ(run.controls[n]->desc.edit.width, expected[n].width);
    }
  }
  ASSERT_EQ(run.controls[5]->descText.size(), 1u);
  EXPECT_FALSE(run.controls[5]->descText[0].empty());
  EXPECT_TRUE(run.destroyed);
}

TEST_F(Panel, ShowsWhatTheInstanceHolds) {
  Instance instance;
  instance->notifyFrameStart = 1;
  instance->notifyFrameDone = 2;  // off for the notifier, so shown off
  instance->notifyRenderDone = 0;
  instance->addRenderTimes = 1;
  instance->frameMessagesInThread = 3;
  instance->token = std::string(2000, 't');  // a hand-edited settings file
  host.script.pressOk = false;
  runOptionsPanel(instance.get());
  const testing::FakePanelRun run = host.lastRun();
  EXPECT_EQ(run.find("Token")->shownText, std::string(1023, 't'));
  EXPECT_EQ(run.find("Name")->shownText, "Old Bot");
  EXPECT_EQ(run.find("Channel")->shownText, "#old");
  EXPECT_EQ(run.controls[6]->shownValue, 0);
  EXPECT_EQ(run.controls[7]->shownValue, 1);
  EXPECT_EQ(run.controls[8]->shownValue, 0);
  EXPECT_EQ(run.controls[9]->shownValue, 1);
  EXPECT_EQ(run.controls[10]->shownValue, 0);
  EXPECT_EQ(run.find("Alert after minutes without a frame")->shownValue, 0);
  const testing::FakeControl* button = run.find("Get Token");
  EXPECT_TRUE(button->userDataSet);
  EXPECT_EQ(button->userData, nullptr);
  EXPECT_EQ(button->event, static_cast<HostControlEventFunc>(&onGetToken));
}

TEST_F(Panel, OkTakesTheEditsAndRewritesTheFile) {
  Instance instance;
  host.script.texts = {{"Token", "xoxb-new"}, {"Name", "Render Bot"}, {"Channel", "#renders"}};
  host.script.switches = {{"Message when render completes   ", 0},
                          {"Message when a new frame renders", 1},
                          {"Message when a frame is complete ", 1},
                          {"Frame messages in a thread", 1}};
  EXPECT_EQ(runOptionsPanel(instance.get()), nullptr);
  EXPECT_EQ(textsOf(*instance), (PostingTexts{"xoxb-new", "Render Bot", "#renders"}));
  EXPECT_STREQ(instance->tokenText, "xoxb-new");
  EXPECT_STREQ(instance->nameText, "Render Bot");
  EXPECT_STREQ(instance->channelText, "#renders");
  EXPECT_EQ(switchesOf(*instance), (Switches{0, 1, 1, 0, 1, 0}));
  EXPECT_EQ(readBytes(host.settingsPath()), "xoxb-new\nRender Bot\n#renders\n");
  EXPECT_EQ(testing::fileMode(host.settingsPath()), 0600u);
  EXPECT_TRUE(host.lastRun().destroyed);
  Instance later;  // every later instance starts from the new file
  EXPECT_EQ(textsOf(*later), (PostingTexts{"xoxb-new", "Render Bot", "#renders"}));
}

// A Windows text editor may begin the file with a byte-order mark, and a
// pasted token may bring blanks along: the mark and the token's blanks are
// dropped when the file is read and when OK stores the token; name and
// channel stay as typed.
TEST_F(Panel, ByteOrderMarkAndTheTokensBlanksAreDropped) {
  const std::string mark = "\xEF\xBB\xBF";
  host.writeSettings(mark + " xoxb-file\t \r\n Old Bot \r\n#old \r\n");
  Instance fromFile;
  EXPECT_EQ(textsOf(*fromFile), (PostingTexts{"xoxb-file", " Old Bot ", "#old "}));
  // The mark counts only at the start of the file.
  host.writeSettings("xoxb-1\n" + mark + "Bot\n#c\n");
  EXPECT_EQ(textsOf(*Instance()), (PostingTexts{"xoxb-1", mark + "Bot", "#c"}));

  Instance instance;
  host.script.texts = {
      {"Token", " \txoxb-new  "}, {"Name", " Render Bot"}, {"Channel", "#renders "}};
  runOptionsPanel(instance.get());
  EXPECT_EQ(readBytes(host.settingsPath()), "xoxb-new\n Render Bot\n#renders \n");
  EXPECT_EQ(textsOf(*instance), (PostingTexts{"xoxb-new", " Render Bot", "#renders "}));
}

TEST_F(Panel, OkWithEmptyTextsLeavesNothingToPostWith) {
  Instance instance;
  host.script.texts = {{"Token", ""}, {"Name", ""}, {"Channel", ""}};
  runOptionsPanel(instance.get());
  EXPECT_EQ(readBytes(host.settingsPath()), "\n\n\n");
  EXPECT_EQ(instance->token + instance->userName + instance->channel, "");
}

TEST_F(Panel, CancelChangesNothingDespiteEdits) {
  Instance instance;
  instance->notifyFrameDone = 2;
  host.script.texts = {{"Token", "xoxb-new"}, {"Name", "Render Bot"}, {"Channel", "#renders"}};
  host.script.switches = {{"Message when render completes   ", 0},
                          {"Message when a frame is complete ", 1}};
  host.script.pressOk = false;
  runOptionsPanel(instance.get());
  EXPECT_EQ(textsOf(*instance), (PostingTexts{"xoxb-old", "Old Bot", "#old"}));
  EXPECT_STREQ(instance->tokenText, "");
  EXPECT_EQ(instance->notifyRenderDone, 1);
  EXPECT_EQ(instance->notifyFrameDone, 2);
  EXPECT_EQ(readBytes(host.settingsPath()), "xoxb-old\r\nOld Bot\r\n#old\r\n");
  EXPECT_TRUE(host.lastRun().destroyed);
}

TEST_F(Panel, LongTextsAreCutToTheirLandingBuffers) {
  for (bool sloppy : {false, true}) {
    SCOPED_TRACE(sloppy ? "host leaves long texts unterminated" : "careful host");
    host.sloppyTextGet = sloppy;
    Instance instance;
    host.script.texts = {{"Token", std::string(3000, 'T')},
                         {"Name", std::string(120, 'N')},
                         {"Channel", std::string(100, 'C')}};
    runOptionsPanel(instance.get());
    EXPECT_EQ(textsOf(*instance),
              (PostingTexts{std::string(1023, 'T'), std::string(99, 'N'), std::string(99, 'C')}));
    EXPECT_EQ(std::strlen(instance->nameText), 99u);
    EXPECT_EQ(readBytes(host.settingsPath()), std::string(1023, 'T') + "\n" + std::string(99, 'N') +
                                                  "\n" + std::string(99, 'C') + "\n");
  }
}

TEST_F(Panel, LineBreakInAFieldCannotShiftTheOtherSettings) {
  Instance instance;
  host.script.texts = {{"Token", "xoxb-1\r\nevil"}, {"Name", "Render\nBot"}, {"Channel", "#c"}};
  runOptionsPanel(instance.get());
  EXPECT_EQ(readBytes(host.settingsPath()), "xoxb-1\nRender\n#c\n");
  EXPECT_EQ(textsOf(*instance), (PostingTexts{"xoxb-1", "Render", "#c"}));
}

TEST_F(Panel, UnwritableSettingsChangeOnlyTheSwitches) {
  Instance instance;
  host.script.texts = {{"Token", "xoxb-new"}, {"Name", "Render Bot"}, {"Channel", "#renders"}};
  host.script.switches = {{"Message when a new frame renders", 1}};
  for (const char* why : {"missing folder", "no folder at all"}) {
    SCOPED_TRACE(why);
    host.setSettingsFolder(host.temp.path() + "/Missing");
    host.setNoSettingsFolder(std::strcmp(why, "no folder at all") == 0);
    testing::StderrCapture stderrLines;
    runOptionsPanel(instance.get());
    const std::string said = stderrLines.text();
    EXPECT_EQ(said.rfind("[pingwell] error cannot write the settings file ", 0), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_EQ(said.find("xoxb-new"), std::string::npos);
    EXPECT_EQ(instance->notifyFrameStart, 1);
    EXPECT_EQ(textsOf(*instance), (PostingTexts{"xoxb-old", "Old Bot", "#old"}));
    EXPECT_FALSE(testing::fileExists(host.settingsFolder()));
    instance->notifyFrameStart = 0;
  }
}

TEST_F(Panel, NoPanelOrControlFromTheHostChangesNothing) {
  Instance instance;
  host.script.texts = {{"Token", "xoxb-new"}};
  host.refusePanels = true;
  EXPECT_EQ(runOptionsPanel(instance.get()), nullptr);
  EXPECT_TRUE(host.runs().empty());
  host.refusePanels = false;
  host.refuseControlLabel = "Message when a frame is complete ";
  EXPECT_EQ(runOptionsPanel(instance.get()), nullptr);
  EXPECT_FALSE(host.lastRun().opened);
  EXPECT_TRUE(host.lastRun().destroyed);
  EXPECT_EQ(instance->token, "xoxb-old");
  EXPECT_EQ(readBytes(host.settingsPath()), "xoxb-old\r\nOld Bot\r\n#old\r\n");
  EXPECT_EQ(runOptionsPanel(nullptr), nullptr);
}

// The desktop opener is replaced by a script on a search path of the test's.
class GetToken : public Panel {
 protected:
  void SetUp() override {
    Panel::SetUp();
    const char* path = std::getenv("PATH");
    savedPath = path != nullptr ? path : "";
    bin = host.temp.path() + "/bin";
    ::mkdir(bin.c_str(), 0755);
    received = host.temp.path() + "/opened";
  }
  void TearDown() override { ::setenv("PATH", savedPath.c_str(), 1); }

  void installOpener(const std::string& body) {
    const std::string opener = bin + "/xdg-open";
    testing::writeBytes(opener, "#!/bin/sh\n" + body + "\n");
    ::chmod(opener.c_str(), 0755);
    ::setenv("PATH", (bin + ":/usr/bin:/bin").c_str(), 1);
  }

  // What the opener wrote, waiting for it a few seconds at most.
  std::string waitForOpener() {
    for (int n = 0; n < 100 && readBytes(received).find('\n') == std::string::npos; ++n) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return readBytes(received);
  }

  std::string savedPath, bin, received;
};

// The page is the service's form for a new app, filled in from the app
// manifest in the source tree: its JSON whole, with the bot token's four
// scopes, percent-encoded into an address of under 2,000 characters.
TEST_F(GetToken, HandsTheTokenPageToTheDesktopOpener) {
  installOpener("printf '%s\\n' \"$*\" > '" + received + "'");
  Instance instance;
  host.script.pressGetToken = true;
  host.script.pressOk = false;
  runOptionsPanel(instance.get());
  std::string opened = waitForOpener();
  ASSERT_FALSE(opened.empty());
  ASSERT_EQ(opened.back(), '\n');
  opened.pop_back();
  const std::string form = "https://api.slack.com/apps?new_app=1&manifest_json=";
  ASSERT_EQ(opened.rfind(form, 0), 0u) << opened;
  EXPECT_LT(opened.size(), 2000u);
  const std::string encoded = opened.substr(form.size());
  EXPECT_EQ(encoded.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                      "0123456789-._~%"),
            std::string::npos)
      << encoded;
  int decodedSize = 0;
  char* decoded = curl_easy_unescape(nullptr, encoded.c_str(), static_cast<int>(encoded.size()),
                                     &decodedSize);
  ASSERT_NE(decoded, nullptr);
  const std::string json(decoded, static_cast<size_t>(decodedSize));
  curl_free(decoded);
  const nlohmann::json manifest = nlohmann::json::parse(readBytes(PINGWELL_APP_MANIFEST));
  EXPECT_EQ(nlohmann::json::parse(json), manifest) << json;
  EXPECT_EQ(manifest["oauth_config"]["scopes"]["bot"],
            nlohmann::json({"chat:write", "chat:write.customize", "files:write",
                            "users:read.email"}));
  // The opener was handed on, not left to us as a child to reap.
  errno = 0;
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST_F(GetToken, SlowOrMissingOpenerNeverHoldsThePanel) {
  installOpener("sleep 3; echo late > '" + received + "'");
  const auto start = std::chrono::steady_clock::now();
  onGetToken(nullptr, nullptr);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

  ::setenv("PATH", (host.temp.path() + "/nothing-here").c_str(), 1);
  onGetToken(nullptr, nullptr);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

// A test message with a field left empty is refused before anything is
// sent, and the artist is told which field; without message boxes the line
// on the error stream is all there is.
TEST_F(Panel, TestMessageWithAnEmptyFieldSaysWhichAndSendsNothing) {
  struct Case {
    const char* label;
    const char* reason;
  };
  const Case cases[] = {{"Token", "the Token field is empty"},
                        {"Name", "the Name field is empty"},
                        {"Channel", "the Channel field is empty"}};
  for (bool messageBoxes : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.label) + (messageBoxes ? "" : ", no message boxes"));
      host.setMessageBoxes(messageBoxes);
      host.keepServices();
      host.shown.clear();
      Instance instance;
      host.script = {};
      host.script.texts = {{c.label, ""}};
      host.script.pressSendTest = true;
      host.script.pressOk = false;
      testing::StderrCapture stderrLines;
      runOptionsPanel(instance.get());
      const std::string line = std::string("Test message not sent: ") + c.reason;
      EXPECT_EQ(stderrLines.text(), "[pingwell] error " + line + "\n");
      EXPECT_EQ(host.shown, messageBoxes ? std::vector<std::string>{"error " + line}
                                         : std::vector<std::string>{});
      EXPECT_EQ(instance->token, "xoxb-old");
    }
  }
}

}  // namespace
}  // namespace pingwell
