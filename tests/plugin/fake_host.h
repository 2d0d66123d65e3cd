#pragma once
// A host of our own for the plug-in's tests: a global lookup that logs what
// it is asked for, scene and time records the test sets, a "Settings" folder
// in a fresh temporary folder and a scripted user for the panel services.
// The load and save states are the host stand-in's own (host/scene_block.h).
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/scene_block.h"
#include "plugin/host_interface.h"
#include "support/files.h"

struct HostPanel;  // the fake host's panel, defined in fake_host.cpp

namespace pingwell::testing {

// What the fake panel services saw of one control.
struct FakeControl {
  HostControl control{};  // first, so a HostControl* leads back here
  std::string kind;
  std::string label;
  HostControlDesc desc{};
  std::vector<std::string> descText;            // the text list of a TextControl
  std::string shownText;                        // last text set with HOST_CTL_VALUE
  int shownValue = -1;                          // last integer set with HOST_CTL_VALUE
  void* userData = reinterpret_cast<void*>(1);  // unset
  HostControlEventFunc event = nullptr;
  bool userDataSet = false;
  // What the scripted user leaves in the control (starts as shown).
  std::string text;
  int value = 0;
};

struct FakePanelRun {
  std::string title;
  std::vector<std::unique_ptr<FakeControl>> controls;
  int openFlags = -1;
  bool opened = false;
  bool destroyed = false;
  FakeControl* find(const std::string& label);
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
  FakeHost();  // becomes the current host; one at a time
  ~FakeHost();
  FakeHost(const FakeHost&) = delete;
  FakeHost& operator=(const FakeHost&) = delete;

  static HostGlobalFunc global();

  // Hands the services to the plug-in's kept set, as the handler
  // activation does.
  void keepServices();

  std::string settingsPath() const { return settingsFolder + "/slacktoken.txt"; }
  void writeSettings(const std::string& bytes) const { writeBytes(settingsPath(), bytes); }

  // Services.
  std::string sceneFile = "shot.lws";
  bool sceneSaved = true;
  HostSceneInfo scene{};
  HostTimeInfo time{0.0, 1};
  HostPanelServices panels{};  // handed over with globalFun NULL, as the host may
  TempFolder temp;
  std::string settingsFolder;  // the "Settings" folder; starts as temp/Settings
  bool noSettingsFolder = false;
  bool renderNode = false;  // no panel services, no message boxes
  bool noMessageBoxes = false;
  HostMessageFuncs messages{};       // record what they show in `shown`
  std::vector<std::string> shown;    // "info TITLE", "error TITLE: DETAIL"
  std::vector<std::string> lookups;  // names asked for, in order

  // Panels.
  PanelScript script;
  bool refusePanels = false;
  std::string refuseControlLabel;  // addControl gives none for this label
  bool sloppyTextGet = false;      // fills the buffer whole, unterminated
  std::vector<std::unique_ptr<FakePanelRun>> runs;
  FakePanelRun& lastRun() { return *runs.back(); }

  // Refreshes scene's pointers after sceneFile or sceneSaved changed.
  void updateScene();
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
  std::vector<std::string> lines_;                            // else these
  pingwell_host::SceneBlockReader reader_;
};

// Counts operator new calls of the whole test program.
long allocationCount();

}  // namespace pingwell::testing
