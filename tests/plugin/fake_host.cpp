#include "fake_host.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "plugin/kept_services.h"

struct HostPanel {
  pingwell::testing::FakePanelRun* run;
};

namespace pingwell::testing {

namespace {

FakeHost* current = nullptr;

// Every service the plug-in may ask for has a record; the ones it only keeps
// get a distinct dummy each.
int dummyServices[16];

const char* folder(const char* kind);

void* lookUp(const char* name, int /*useMode*/) {
  FakeHost& host = *current;
  host.lookups.emplace_back(name);
  const std::string wanted(name);
  if (wanted == HOST_SCENE_INFO_NAME) return &host.scene;
  if (wanted == HOST_TIME_INFO_NAME) return &host.time;
  if (wanted == HOST_DIRECTORY_INFO_NAME) return reinterpret_cast<void*>(&folder);
  if (host.renderNode) return nullptr;
  if (wanted == HOST_PANEL_SERVICES_NAME) return &host.panels;
  if (wanted == HOST_INFO_MESSAGES_NAME) return host.noMessageBoxes ? nullptr : &host.messages;
  return &dummyServices[host.lookups.size() % 16];
}

const char* folder(const char* kind) {
  FakeHost& host = *current;
  if (host.noSettingsFolder || std::strcmp(kind, "Settings") != 0) return nullptr;
  return host.settingsFolder.c_str();
}

void show(const char* kind, const char* title, const char* detail) {
  std::string line = std::string(kind) + " " + title;
  if (detail != nullptr) line += std::string(": ") + detail;
  current->shown.push_back(line);
}
void showInfo(const char* title, const char* detail) { show("info", title, detail); }
void showError(const char* title, const char* detail) { show("error", title, detail); }

FakeControl* asFake(HostControl* control) { return reinterpret_cast<FakeControl*>(control); }

void controlDraw(HostControl* /*control*/, int /*mode*/) {
  throw std::logic_error("the plug-in drew a control");
}

void controlSet(HostControl* control, int tag, HostValue* value) {
  FakeControl& fake = *asFake(control);
  if (tag == HOST_CTL_VALUE && value->type == HOST_VALUE_TEXT) {
    // A host reads no further than the stated length.
    const HostTextValue& text = value->text;
    fake.shownText.assign(text.buf, strnlen(text.buf, static_cast<size_t>(text.bufLen)));
    fake.text = fake.shownText;
  } else if (tag == HOST_CTL_VALUE && value->type == HOST_VALUE_INT) {
    fake.shownValue = value->intv.value;
    fake.value = value->intv.value;
  } else if (tag == HOST_CTL_USERDATA) {
    fake.userData = value->ptr.ptr;
    fake.userDataSet = true;
  } else if (tag == HOST_CTL_USEREVENT) {
    fake.event = reinterpret_cast<HostControlEventFunc>(value->ptr.ptr);
  }
}

void controlGet(HostControl* control, int tag, HostValue* value) {
  FakeControl& fake = *asFake(control);
  if (tag != HOST_CTL_VALUE) return;
  if (fake.kind == "BoolControl") {
    value->intv.value = fake.value;
    return;
  }
  HostTextValue& text = value->text;
  if (text.bufLen <= 0) return;
  const size_t room = static_cast<size_t>(text.bufLen);
  if (current->sloppyTextGet) {
    // Fills the buffer whole and leaves it unterminated when the text is long.
    std::memcpy(text.buf, fake.text.data(), std::min(room, fake.text.size()));
    if (fake.text.size() < room) text.buf[fake.text.size()] = '\0';
    return;
  }
  const size_t copied = std::min(room - 1, fake.text.size());
  std::memcpy(text.buf, fake.text.data(), copied);
  text.buf[copied] = '\0';
}

HostPanel* panelCreate(char* title, void* /*reserved*/) {
  FakeHost& host = *current;
  if (host.refusePanels) return nullptr;
  auto run = std::make_unique<FakePanelRun>();
  run->title = title;
  host.runs.push_back(std::move(run));
  static std::vector<std::unique_ptr<HostPanel>> handles;
  handles.push_back(std::make_unique<HostPanel>(HostPanel{host.runs.back().get()}));
  return handles.back().get();
}

void panelDestroy(HostPanel* panel) { panel->run->destroyed = true; }

HostControl* panelAddControl(HostPanel* panel, char* kind, HostControlDesc* desc, char* label) {
  if (panel->run->destroyed) throw std::logic_error("control added to a released panel");
  if (!current->refuseControlLabel.empty() && label == current->refuseControlLabel) return nullptr;
  auto fake = std::make_unique<FakeControl>();
  fake->control.draw = controlDraw;
  fake->control.get = controlGet;
  fake->control.set = controlSet;
  fake->kind = kind;
  fake->label = label;
  fake->desc = *desc;
  if (desc->type == HOST_DESC_TEXT && desc->text.text != nullptr) {
    for (const char** line = desc->text.text; *line != nullptr; ++line)
      fake->descText.emplace_back(*line);
  }
  panel->run->controls.push_back(std::move(fake));
  return &panel->run->controls.back()->control;
}

int panelOpen(HostPanel* panel, int flags) {
  FakeHost& host = *current;
  FakePanelRun& run = *panel->run;
  run.openFlags = flags;
  run.opened = true;
  for (const auto& [label, text] : host.script.texts) {
    if (FakeControl* control = run.find(label)) control->text = text;
  }
  for (const auto& [label, state] : host.script.switches) {
    if (FakeControl* control = run.find(label)) control->value = state;
  }
  for (const auto& [pressed, label] : {std::pair{host.script.pressGetToken, "Get Token"},
                                       std::pair{host.script.pressSendTest, "Send Test Message"}}) {
    FakeControl* button = pressed ? run.find(label) : nullptr;
    if (button != nullptr && button->event != nullptr)
      button->event(&button->control, button->userData);
  }
  return host.script.pressOk ? 1 : 0;
}

}  // namespace

FakeControl* FakePanelRun::find(const std::string& label) {
  for (auto& control : controls) {
    if (control->label == label) return control.get();
  }
  return nullptr;
}

FakeHost::FakeHost() {
  if (current != nullptr) throw std::logic_error("one fake host at a time");
  current = this;
  settingsFolder = temp.path() + "/Settings";
  ::mkdir(settingsFolder.c_str(), 0755);
  messages.info = showInfo;
  messages.error = showError;
  panels.create = panelCreate;
  panels.destroy = panelDestroy;
  panels.addControl = panelAddControl;
  panels.open = panelOpen;
  updateScene();
}

FakeHost::~FakeHost() {
  // The plug-in must not keep pointers into a host that is gone.
  KeptServices& kept = keptServices();
  kept.sceneInfo = nullptr;
  kept.timeInfo = nullptr;
  kept.directoryInfo = nullptr;
  kept.panelServices = nullptr;
  kept.infoMessages = nullptr;
  current = nullptr;
}

HostGlobalFunc FakeHost::global() { return lookUp; }

void FakeHost::keepServices() { keepHandlerServices(global()); }

void FakeHost::updateScene() {
  scene.name = "shot";
  scene.filename = sceneSaved ? sceneFile.c_str() : nullptr;
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
