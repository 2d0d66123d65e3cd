// Runs pingwell-host on scripts against the fake module and checks what
// crosses its boundaries: standard output and error, exit status, files.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/run_host.h"

namespace fs = std::filesystem;

namespace {

using Outcome = pingwell::testing::HostRun;
using pingwell::testing::quoted;
using pingwell::testing::ranCleanly;

std::string slurp(const fs::path& path) { return pingwell::testing::readBytes(path.string()); }

void spit(const fs::path& path, const std::string& text) {
  pingwell::testing::writeBytes(path.string(), text);
}

class HostRun : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "pingwell-host-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
    settings = dir / "Settings";
  }
  void TearDown() override { fs::remove_all(dir); }

  // Runs the host in `dir` with the script as its file argument (or on
  // standard input) and the given arguments before it.
  Outcome run(const std::string& script, std::vector<std::string> args = {},
              bool scriptOnStdin = false) {
    if (args.empty()) args = {"--module", FAKE_MODULE, "--settings", settings.string()};
    return pingwell::testing::runHost(PINGWELL_HOST, dir.string(), args, script, scriptOnStdin);
  }

  fs::path dir;
  fs::path settings;
};

const std::string kStart = "fake: handler activation 4\n";

TEST_F(HostRun, RenderAnnouncesItselfThenSendsEachFrameToEveryInstanceInOrderThenRenderDone) {
  Outcome o =
      run("create b\n"
          "create gone\n"
          "create a\n"
          "destroy gone\n"
          "scene \"shots/my shot.lws\"\n"
          "render 4 5\n");
  EXPECT_TRUE(ranCleanly(o));
  EXPECT_EQ(o.out, kStart +
                       "fake #2 destroyed\n"
                       "fake #1 event 273 frame 4 scene 'shots/my shot.lws'\n"
                       "fake #3 event 273 frame 4 scene 'shots/my shot.lws'\n"
                       "fake #1 event 265 frame 4 scene 'shots/my shot.lws'\n"
                       "fake #3 event 265 frame 4 scene 'shots/my shot.lws'\n"
                       "fake #1 event 272 frame 4 scene 'shots/my shot.lws'\n"
                       "fake #3 event 272 frame 4 scene 'shots/my shot.lws'\n"
                       "fake #1 event 265 frame 5 scene 'shots/my shot.lws'\n"
                       "fake #3 event 265 frame 5 scene 'shots/my shot.lws'\n"
                       "fake #1 event 272 frame 5 scene 'shots/my shot.lws'\n"
                       "fake #3 event 272 frame 5 scene 'shots/my shot.lws'\n"
                       "fake #1 event 274 frame 5 scene 'shots/my shot.lws'\n"
                       "fake #3 event 274 frame 5 scene 'shots/my shot.lws'\n"
                       "fake #1 destroyed\n"
                       "fake #3 destroyed\n"
                       "fake: shutdown\n");
}

// A slow render, as a script shows it: every frame is held between its
// started and rendered events.
TEST_F(HostRun, RenderHoldsEachFrameForItsSleep) {
  const auto start = std::chrono::steady_clock::now();
  Outcome o = run("create a\nrender 1 3 sleep=150\n");
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_TRUE(ranCleanly(o));
  EXPECT_GE(took, std::chrono::milliseconds(450));
  EXPECT_NE(o.out.find("fake #1 event 265 frame 3 scene '(null)'\n"
                       "fake #1 event 272 frame 3 scene '(null)'\n"),
            std::string::npos)
      << o.out;
}

TEST_F(HostRun, SceneFrameAndEventReachTheModuleAsScripted) {
  Outcome o =
      run("# a comment, then a blank line\n"
          "\n"
          "   create a\r\n"
          "event a 265\n"
          "scene -\n"
          "frame -7\n"
          "event a 99\n"
          "scene \"\"\n"
          "event a 274\n"
          "scene C:\\scenes\\a.lws\n"
          "event a 272\n",
          {}, /*scriptOnStdin=*/true);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, kStart +
                       "fake #1 event 265 frame 0 scene '(null)'\n"
                       "fake #1 event 99 frame -7 scene '(null)'\n"
                       "fake #1 event 274 frame -7 scene ''\n"
                       "fake #1 event 272 frame -7 scene 'C:\\scenes\\a.lws'\n"
                       "fake #1 destroyed\nfake: shutdown\n");
}

// Each value call of the module is one line; a read takes the next line
// whatever it holds and finds nothing on a line that is not of its type.
TEST_F(HostRun, SaveWritesOneValueALineAndLoadFailsReadsTheFileLacks) {
  spit(dir / "short.txt", "0.5\n11\n");
  spit(dir / "notint.txt", "0.01\n4\n2.5\n9\n");
  Outcome o =
      run("create a\n"
          "create b\n"
          "save a a.txt\n"
          "load b a.txt\n"
          "describe b\n"
          "create c\n"
          "load c short.txt\n"
          "describe c\n"
          "load c notint.txt\n");
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(slurp(dir / "a.txt"), "0.00999999978\n7\n-3\n1\n");
  std::string settingsText = " settings=" + settings.string() + " priv=lookup\n";
  EXPECT_EQ(o.out, kStart +
                       "fake #2 load 1:0.01 1:7 1:-3 1:1\n"
                       "fake #2 a=7 b=-3 c=1" +
                       settingsText +
                       "fake #3 load 1:0.5 1:11 0:12345 0:12345\n"
                       "fake #3 a=11 b=-3 c=3" +
                       settingsText +
                       "fake #3 load 1:0.01 1:4 0:12345 1:9\n"
                       "fake #1 destroyed\nfake #2 destroyed\nfake #3 destroyed\n"
                       "fake: shutdown\n");
}

TEST_F(HostRun, ScriptedUserEditsThePanelAndPressesOkOrCancel) {
  Outcome o =
      run("create a\n"
          "options a ok token=xoxb-123456789 name=\"Render Bot\" channel=C:\\temp\\x "
          "render=0 start=1 done=1 gettoken\n"
          "options a cancel name=Other token= start=0\n"
          "options a ok name= done=0\n");
  EXPECT_TRUE(ranCleanly(o));
  EXPECT_EQ(o.out, kStart +
                       "fake #1 clicked Get Token\n"
                       "fake #1 panel closed with 1\n"
                       "fake #1 token='xoxb-123456789' name='Render Bot' channel='C:\\temp\\x' "
                       "render=0 start=1 done=1 short='xoxb-12'\n"
                       "fake #1 panel closed with 0\n"
                       "fake #1 panel closed with 1\n"
                       "fake #1 token='xoxb-123456789' name='' channel='C:\\temp\\x' "
                       "render=0 start=1 done=0 short='xoxb-12'\n"
                       "fake #1 destroyed\nfake: shutdown\n");
}

TEST_F(HostRun, LineThatCannotRunStopsTheScriptWithItsNumberAndStatus2) {
  const struct {
    std::string script;
    std::string err;
  } cases[] = {
      {"describe x\n", "line 1: no instance named x\n"},
      {"# c\n\ncreate a\nfly a\ndescribe a\n", "line 4: unknown command: fly\n"},
      {"create\n", "line 1: usage: create NAME\n"},
      {"create a b\n", "line 1: usage: create NAME\n"},
      {"create a\ncreate a\n", "line 2: instance a exists already\n"},
      {"frame 1.5\n", "line 1: the frame is not a 32-bit integer: 1.5\n"},
      {"frame 99999999999\n", "line 1: the frame is not a 32-bit integer: 99999999999\n"},
      {"scene \"open\n", "line 1: double quote not closed\n"},
      {"render 3 1\n", "line 1: the first frame comes after the last\n"},
      {"render 1 2 sleep=600001\n", "line 1: the sleep must be 0 to 600000 milliseconds\n"},
      {"render 1 2 size=640x0\n", "line 1: the height must be 1 to 8192\n"},
      {"render 1 2 size=8192x8192\n",
       "line 1: the frame has more than 16777216 pixels: 8192x8192\n"},
      {"create a\noptions a maybe\n", "line 2: options needs ok or cancel, not maybe\n"},
      {"create a\noptions a ok colour=red\n", "line 2: unknown options setting: colour=red\n"},
      {"create a\noptions a ok render=2\n", "line 2: render must be 0 or 1, not 2\n"},
      {"create a\noptions a ok progress=1\n",
       "line 2: the panel has no switch labelled \"Progress in one message\"\n"},
      {"create a\nload a missing.txt\n", "line 2: cannot read missing.txt\n"},
      {"create a\nsave a no/such/folder/x.txt\n", "line 2: cannot write no/such/folder/x.txt\n"},
      {"create a\ncopy a a\n", "line 2: cannot copy a onto itself\n"},
      {"activate interface 4\n", "line 1: only the handler can be activated: interface\n"},
      {"filter remove\n", "line 1: no image filter is applied\n"},
      {"filter add\nfilter add\n", "line 2: an image filter is applied already\n"},
  };
  for (const auto& c : cases) {
    Outcome o = run(c.script);
    EXPECT_EQ(o.status, 2) << c.script;
    EXPECT_EQ(o.err, c.err) << c.script;
  }
  // What ran before the bad line stays done, nothing after it runs, and the
  // module is still shut down in order.
  Outcome o = run("create a\ndescribe a\nfly\ndescribe a\n");
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.out, kStart + "fake #1 a=7 b=-3 c=1 settings=" + settings.string() +
                       " priv=lookup\nfake #1 destroyed\nfake: shutdown\n");
}

TEST_F(HostRun, ModuleThatCannotServeIsReportedBeforeTheScript) {
  const struct {
    std::string module;
    std::string err;
  } cases[] = {
      {FAKE_MODULE_BAD_MAGIC,
       "line 0: " + std::string(FAKE_MODULE_BAD_MAGIC) + ": bad module magic 0x12345678\n"},
      {FAKE_MODULE_REFUSING,
       "line 0: " + std::string(FAKE_MODULE_REFUSING) + ": module start-up refused\n"},
  };
  for (const auto& c : cases) {
    Outcome o = run("create a\n", {"--module", c.module, "--settings", settings.string()});
    EXPECT_EQ(o.status, 2) << c.module;
    EXPECT_EQ(o.err, c.err);
    EXPECT_EQ(o.out, "");
  }
  Outcome missing = run("", {"--module", (dir / "none.p").string()});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err.rfind("line 0: cannot open module " + (dir / "none.p").string(), 0), 0u)
      << missing.err;
}

TEST_F(HostRun, ModuleBuiltBesideTheProgramIsFoundWithoutModuleOption) {
  // The build tree's layout (program in host/, module in plugin/module/), then a
  // module in the program's own folder.
  const fs::path layouts[][2] = {
      {dir / "tree" / "host", dir / "tree" / "plugin" / "module"},
      {dir / "flat", dir / "flat"},
  };
  for (const auto& layout : layouts) {
    fs::create_directories(layout[0]);
    fs::create_directories(layout[1]);
    fs::copy_file(PINGWELL_HOST, layout[0] / "pingwell-host");
    fs::copy_file(FAKE_MODULE, layout[1] / "voro2_pingwell_64.p");
    spit(dir / "script", "create a\n");
    std::string cmd = "cd " + quoted(dir.string()) + " && " +
                      quoted((layout[0] / "pingwell-host").string()) + " script > out.txt 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << layout[0];
    EXPECT_EQ(slurp(dir / "out.txt"), kStart + "fake #1 destroyed\nfake: shutdown\n");
  }
}

TEST_F(HostRun, ActivateHandlerPrintsTheModulesAnswer) {
  Outcome o = run("activate handler 3\nactivate handler 4\ncreate a\n");
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out, kStart +
                       "fake: handler activation 3\nMasterHandler: 1\n"
                       "fake: handler activation 4\nMasterHandler: 0\n"
                       "fake #1 destroyed\nfake: shutdown\n");
}

TEST_F(HostRun, SettingsFolderIsMadeWhenMissingAndReportedToTheModule) {
  // Default: ./Settings in the working folder.
  Outcome o = run("create a\ndescribe a\n", {"--module", FAKE_MODULE});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_TRUE(fs::is_directory(dir / "Settings"));
  EXPECT_NE(o.out.find("fake #1 a=7 b=-3 c=1 settings=./Settings priv=lookup\n"), std::string::npos)
      << o.out;

  fs::path nested = dir / "deep" / "er";
  o = run("create a\ndescribe a\n", {"--module", FAKE_MODULE, "--settings", nested.string() + "/"});
  EXPECT_TRUE(fs::is_directory(nested));
  EXPECT_NE(o.out.find("settings=" + nested.string() + " priv"), std::string::npos) << o.out;
}

TEST_F(HostRun, CreateTheModuleRefusesIsPrintedAndTheScriptGoesOn) {
  fs::create_directories(settings);
  spit(settings / "refuse-create", "");
  Outcome o = run("create a\nscene x.lws\ndescribe a\n");
  EXPECT_EQ(o.status, 2);
  EXPECT_EQ(o.out, kStart + "create a: failed\nfake: shutdown\n");
  EXPECT_EQ(o.err, "line 3: no instance named a\n");
}

}  // namespace

namespace {

// A render node has no user interface: the module is told so by a lookup
// that gives no panel services, and everything else goes on as before.
TEST_F(HostRun, RenderNodeOffersNoPanelServicesAndTheRestAsBefore) {
  Outcome o =
      run("create a\n"
          "options a ok token=x\n"
          "save a a.txt\n"
          "load a a.txt\n"
          "render 1 1\n",
          {"--module", FAKE_MODULE, "--settings", settings.string(), "--render-node"});
  EXPECT_TRUE(ranCleanly(o));
  EXPECT_EQ(o.out, kStart +
                       "fake #1 no panel services\n"
                       "MasterInterface: 0, no panel on a render node\n"
                       "fake #1 load 1:0.01 1:7 1:-3 1:1\n"
                       "fake #1 event 273 frame 1 scene '(null)'\n"
                       "fake #1 event 265 frame 1 scene '(null)'\n"
                       "fake #1 event 272 frame 1 scene '(null)'\n"
                       "fake #1 event 274 frame 1 scene '(null)'\n"
                       "fake #1 destroyed\nfake: shutdown\n");
}

}  // namespace

namespace {

// The renderer hands each frame to the applied image filter between the
// frame's started and rendered events and checks that a pass-through gave
// back, bit for bit, what it was given, a line it was not given as 0.
TEST_F(HostRun, ImageFilterRunsBetweenFrameEventsAndWrongOutputFailsTheRun) {
  Outcome o =
      run("create a\n"
          "filter add\n"
          "render 1 2 size=4x3\n"
          "filter remove\n"
          "filter add noitems\n"
          "render 3 3\n");
  EXPECT_TRUE(ranCleanly(o));
  EXPECT_EQ(o.out, kStart +
                       "fake #1 event 273 frame 1 scene '(null)'\n"
                       "fake #1 event 265 frame 1 scene '(null)'\n"
                       "fake filter: frame 1 4x3 items, lines not given: 1\n"
                       "fake #1 event 272 frame 1 scene '(null)'\n"
                       "fake #1 event 265 frame 2 scene '(null)'\n"
                       "fake filter: frame 2 4x3 items, lines not given: 1\n"
                       "fake #1 event 272 frame 2 scene '(null)'\n"
                       "fake #1 event 274 frame 2 scene '(null)'\n"
                       "fake filter destroyed\n"
                       "fake #1 event 273 frame 3 scene '(null)'\n"
                       "fake #1 event 265 frame 3 scene '(null)'\n"
                       "fake filter: frame 3 640x360 no items, lines not given: 1\n"
                       "fake #1 event 272 frame 3 scene '(null)'\n"
                       "fake #1 event 274 frame 3 scene '(null)'\n"
                       "fake filter destroyed\n"
                       "fake #1 destroyed\nfake: shutdown\n");

  // A pixel left unset, a pixel altered, a line not given written as 1: each
  // frame's first wrong pixel is reported, the render goes on, the run fails.
  Outcome faulty = run("filter add\nrender 1 3 size=4x3\n",
                       {"--module", FAKE_MODULE_FAULTY_FILTER, "--settings", settings.string()});
  EXPECT_EQ(faulty.status, 2);
  const std::string unsetThenAltered =
      "line 2: image filter: frame 1: the filter never set RGB of pixel (2, 1)\n"
      "line 2: image filter: frame 2: pixel (0, 2) green is 0x";
  EXPECT_EQ(faulty.err.substr(0, unsetThenAltered.size()), unsetThenAltered) << faulty.err;
  EXPECT_NE(faulty.err.find("\nline 2: image filter: frame 3: pixel (0, 0) alpha is 0x3f800000, "
                            "expected 0x00000000\n"),
            std::string::npos)
      << faulty.err;
  EXPECT_NE(faulty.out.find("fake filter destroyed\nfake: shutdown\n"), std::string::npos);

  Outcome none =
      run("filter add\n", {"--module", FAKE_MODULE_OTHER_FILTER, "--settings", settings.string()});
  EXPECT_EQ(none.status, 2);
  EXPECT_EQ(none.err,
            "line 1: the module has no ImageFilterHandler server named voro2_slack_preview\n");
}

}  // namespace
