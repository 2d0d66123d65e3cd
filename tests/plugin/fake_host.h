#pragma once
// The host of the plug-in's tests: the host stand-in's own services
// (host/standin_services.h, host/panel.h, host/scene_block.h) with what a
// test sets and checks: a global lookup that logs what it is asked for, a
// "Settings" folder in a fresh temporary folder, message boxes that keep
// what they show, a scripted user at every panel, and the panels the
// plug-in made.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/scene_block.h"
#include "plugin/host_api/host_interface.h"
#include "support/files.h"

namespace pingwell::testing {

// What the host's panel services saw of one control.
struct FakeControl {
  std::string kind;
  std::string label;
  HostControlDesc desc{};             // its type, and the width of an Edit or Button
  std::vector<std::string> descText;  // the text list of a TextControl
  std::string shownText;              // last text set with HOST_CTL_VALUE
  int shownValue = -1;                // last integer set with HOST_CTL_VALUE
  void* userData = nullptr;
  bool userDataSet = false;
  HostControlEventFunc event = nullptr;
  // What the scripted user left in the control (starts as shown).
  std::string text;
  int value = 0;
};

// One panel as the host's panel services hold it.
struct FakePanelRun {
  std::string title;
  std::vector<std::unique_ptr<FakeControl>> controls;
  int openFlags = -1;
  bool opened = false;
  bool destroyed = false;
  const FakeControl* find(const std::string& label) const;
};

// What the scripted user does when a panel opens.
struct PanelScript {
  std::map<std::string, std::string> texts;  // label -> new text
  std::map<std::string, int> switches;       // label -> new state
  bool pressGetToken = false;
  bool pressSendTest = false;
  bool pressOk = true;
};

class FakeHost {
 public:
  FakeHost();  // resets the host's services and becomes the current host; one at a time
  ~FakeHost();
  FakeHost(const FakeHost&) = delete;
  FakeHost& operator=(const FakeHost&) = delete;

  static HostGlobalFunc global();

  // Hands the services to the plug-in's kept set, as the handler
  // activation does.
  void keepServices();

  const std::string& settingsFolder() const { return settingsFolder_; }
  // The "Settings" folder the directory service names (starts as
  // temp/Settings, made); none at all with setNoSettingsFolder(true).
  void setSettingsFolder(const std::string& folder);
  void setNoSettingsFolder(bool none);
  std::string settingsPath() const { return settingsFolder_ + "/slacktoken.txt"; }
  void writeSettings(const std::string& bytes) const { writeBytes(settingsPath(), bytes); }

  // No panel services and no message boxes; "System ID" says render node.
  void setRenderNode(bool renderNode);
  // A workstation whose panel service lookup fails.
  void setPanelServices(bool on);
  void setMessageBoxes(bool on);

  // Services: the host's own records.
  std::string sceneFile = "shot.lws";
  bool sceneSaved = true;
  HostSceneInfo& scene;
  HostTimeInfo& time;         // starts at frame 1
  HostPanelServices& panels;  // handed over with globalFun NULL, as the host may
  TempFolder temp;
  std::vector<std::string> shown;    // "info TITLE", "error TITLE: DETAIL"
  std::vector<std::string> lookups;  // names asked for, in order

  // Panels.
  PanelScript script;
  bool& refusePanels;
  std::string& refuseControlLabel;  // addControl gives none for this label
  bool& sloppyTextGet;              // fills the buffer whole, unterminated
  // The panels made since the host started, released ones included.
  std::vector<FakePanelRun> runs() const;
  FakePanelRun lastRun() const;

  // Hands sceneFile and sceneSaved to scene info.
  void updateScene();

 private:
  std::string settingsFolder_;
};

// A scene block as the host keeps it (host/scene_block.h: one line a value
// call), seen as a list of values. A read takes the next line and finds
// nothing on it when it holds no value of its type.
struct SceneValue {
  bool isFloat;
  float f;
  int32_t i;
};

class FakeSceneBlock {
 public:
  FakeSceneBlock() = default;
  FakeSceneBlock(const FakeSceneBlock&) = delete;
  FakeSceneBlock& operator=(const FakeSceneBlock&) = delete;

  // The save state: what the plug-in writes becomes the block.
  const HostSaveState* save();
  // The load state, reading the block from its first line.
  const HostLoadState* load();

  // The block's values: a line that reads as an integer is one, any other a
  // float.
  std::vector<SceneValue> values() const;
  void setValues(const std::vector<SceneValue>& values);

 private:
  std::vector<std::string> lines() const;
  std::unique_ptr<pingwell_host::SceneBlockWriter> writer_;  // since the last save
  std::vector<std::string> lines_;                           // else these
  pingwell_host::SceneBlockReader reader_;
};

// Counts operator new calls of the whole test program.
long allocationCount();

}  // namespace pingwell::testing
