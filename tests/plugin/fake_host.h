#pragma once
// A host of our own for the plug-in's tests: a global lookup that logs what
// it is asked for, scene and time records the test sets, a "Settings" folder
// in a fresh temporary folder, a scripted user for the panel services, and
// load and save states over a list of values.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

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

// A scene block as a list of values, one line each, for load and save: a
// read takes the next line and finds nothing on it when it holds a value of
// the other type.
struct SceneValue {
  bool isFloat;
  float f;
  int32_t i;
};

class FakeSceneBlock {
 public:
  FakeSceneBlock();
  std::vector<SceneValue> values;
  size_t next = 0;
  HostLoadState load{};
  HostSaveState save{};
};

// Counts operator new calls of the whole test program.
long allocationCount();

}  // namespace pingwell::testing
