#include "fake_host.h"

#include <sys/stat.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "host/panel.h"
#include "host/script.h"
#include "host/standin_services.h"
#include "plugin/host_api/host_services.h"

namespace pingwell::testing {

namespace {

using pingwell_host::PanelServices;
using pingwell_host::ScriptedUser;
using pingwell_host::StandInServices;

FakeHost* current = nullptr;

// The test's script as the host's scripted user; labels are matched
// without their surrounding blanks.
ScriptedUser userOf(const PanelScript& script) {
  ScriptedUser user;
  for (const auto& [label, text] : script.texts) {
    ScriptedUser::Edit edit;
    edit.label = pingwell_host::trimmed(label);
    edit.text = text;
    user.edits.push_back(edit);
  }
  for (const auto& [label, state] : script.switches) {
    ScriptedUser::Edit edit;
    edit.isSwitch = true;
    edit.label = pingwell_host::trimmed(label);
    edit.state = state;
    user.edits.push_back(edit);
  }
  user.clickGetToken = script.pressGetToken;
  user.clickSendTest = script.pressSendTest;
  user.pressOk = script.pressOk;
  return user;
}

FakePanelRun runOf(const HostPanel& panel) {
  FakePanelRun run;
  run.title = panel.title;
  run.openFlags = panel.openFlags;
  run.opened = panel.opened;
  run.destroyed = panel.destroyed;
  for (const auto& control : panel.controls) {
    auto fake = std::make_unique<FakeControl>();
    fake->kind = pingwell_host::controlKindName(control->kind);
    fake->label = control->label;
    fake->desc.type = control->descType;
    fake->desc.edit.width = control->descWidth;
    fake->descText = control->descText;
    fake->shownText = control->shownText;
    fake->shownValue = control->shownValue;
    fake->userData = control->userData;
    fake->userDataSet = control->userDataSet;
    fake->event = control->onUse;
    fake->text = control->text;
    fake->value = control->state;
    run.controls.push_back(std::move(fake));
  }
  return run;
}

}  // namespace

const FakeControl* FakePanelRun::find(const std::string& label) const {
  for (const auto& control : controls) {
    if (control->label == label) return control.get();
  }
  return nullptr;
}

FakeHost::FakeHost()
    : scene(StandInServices::get().sceneInfo()),
      time(StandInServices::get().timeInfo()),
      panels(*PanelServices::get().record()),
      refusePanels(PanelServices::get().faults().refusePanels),
      refuseControlLabel(PanelServices::get().faults().refuseControlLabel),
      sloppyTextGet(PanelServices::get().faults().sloppyTextGet) {
  if (current != nullptr) throw std::logic_error("one fake host at a time");
  current = this;
  StandInServices& services = StandInServices::get();
  PanelServices& panelServices = PanelServices::get();
  services.reset();
  panelServices.reset();
  services.setLookupObserver([this](const char* name) { lookups.emplace_back(name); });
  services.setMessageSink([this](const std::string& text) { shown.push_back(text); });
  panelServices.attendEveryPanel([this] { return userOf(script); });
  services.setFrame(1);
  setSettingsFolder(temp.path() + "/Settings");
  ::mkdir(settingsFolder_.c_str(), 0755);
  updateScene();
}

FakeHost::~FakeHost() {
  // The plug-in must not keep pointers into a host that is gone.
  HostServices& kept = hostServices();
  kept.sceneInfo = nullptr;
  kept.timeInfo = nullptr;
  kept.directoryInfo = nullptr;
  kept.panelServices = nullptr;
  kept.infoMessages = nullptr;
  kept.renderNode = false;
  StandInServices::get().reset();
  PanelServices::get().reset();
  current = nullptr;
}

HostGlobalFunc FakeHost::global() { return &StandInServices::lookup; }

void FakeHost::keepServices() { keepHandlerServices(global()); }

void FakeHost::setSettingsFolder(const std::string& folder) {
  settingsFolder_ = folder;
  StandInServices::get().setSettingsFolder(folder);
}

void FakeHost::setNoSettingsFolder(bool none) {
  StandInServices::get().setSettingsFolder(none ? std::nullopt
                                                : std::optional<std::string>(settingsFolder_));
}

void FakeHost::setRenderNode(bool renderNode) { StandInServices::get().setRenderNode(renderNode); }

void FakeHost::setPanelServices(bool on) { StandInServices::get().setPanelServices(on); }

void FakeHost::setMessageBoxes(bool on) { StandInServices::get().setMessageBoxes(on); }

std::vector<FakePanelRun> FakeHost::runs() const {
  std::vector<FakePanelRun> runs;
  for (const auto& panel : PanelServices::get().panels()) runs.push_back(runOf(*panel));
  return runs;
}

FakePanelRun FakeHost::lastRun() const {
  std::vector<FakePanelRun> all = runs();
  if (all.empty()) throw std::logic_error("the plug-in made no panel");
  return std::move(all.back());
}

void FakeHost::updateScene() {
  StandInServices::get().setSceneFile(sceneSaved ? std::optional<std::string>(sceneFile)
                                                 : std::nullopt);
}

const HostSaveState* FakeSceneBlock::save() {
  writer_ = std::make_unique<pingwell_host::SceneBlockWriter>();
  return writer_->state();
}

const HostLoadState* FakeSceneBlock::load() {
  reader_.setLines(lines());
  return reader_.state();
}

std::vector<std::string> FakeSceneBlock::lines() const {
  return writer_ ? writer_->lines() : lines_;
}

// Through the host's own value functions, so a value reads and writes here
// as it does in a scene.
std::vector<SceneValue> FakeSceneBlock::values() const {
  std::vector<SceneValue> values;
  for (const std::string& line : lines()) {
    pingwell_host::SceneBlockReader reader;
    const HostLoadState& state = *reader.state();
    SceneValue value{false, 0.0f, 0};
    reader.setLines({line});
    if (state.readI4(state.readData, &value.i, 1) != 1) {
      value.isFloat = true;
      reader.setLines({line});
      state.readFP(state.readData, &value.f, 1);
    }
    values.push_back(value);
  }
  return values;
}

void FakeSceneBlock::setValues(const std::vector<SceneValue>& values) {
  pingwell_host::SceneBlockWriter writer;
  const HostSaveState& state = *writer.state();
  for (const SceneValue& value : values) {
    if (value.isFloat)
      state.writeFP(state.writeData, &value.f, 1);
    else
      state.writeI4(state.writeData, &value.i, 1);
  }
  writer_.reset();
  lines_ = writer.lines();
}

}  // namespace pingwell::testing
