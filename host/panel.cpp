#include "panel.h"

#include <algorithm>
#include <cstring>

#include "script.h"
#include "standin_services.h"

namespace pingwell_host {

enum class ControlKind { Edit, Button, Text, Bool };

// A control of the host's panel. The module sees only `base`; `base.priv`
// leads back here.
struct Control {
  HostControl base{};
  ControlKind kind = ControlKind::Edit;
  std::string label;
  int descType = 0;
  int descWidth = 0;
  std::vector<std::string> descText;
  std::string text;  // what an Edit control shows
  int state = 0;     // what a Bool control shows
  void* userData = nullptr;
  HostControlEventFunc onUse = nullptr;
};

}  // namespace pingwell_host

namespace {

using pingwell_host::trimmed;

using pingwell_host::Control;
using pingwell_host::ControlKind;

// Lines of a text descriptor beyond this many are not read; a list without
// its closing null entry cannot run on for ever.
constexpr size_t kMaxTextLines = 256;

Control* controlOf(HostControl* control) {
  return control ? static_cast<Control*>(control->priv) : nullptr;
}

void copyText(const std::string& text, HostTextValue& value) {
  if (!value.buf || value.bufLen <= 0) return;
  size_t room = static_cast<size_t>(value.bufLen) - 1;
  size_t n = std::min(text.size(), room);
  std::memcpy(value.buf, text.data(), n);
  value.buf[n] = '\0';
}

void controlGet(HostControl* control, int tag, HostValue* value) {
  Control* c = controlOf(control);
  if (!c || !value || tag != HOST_CTL_VALUE) return;
  if (value->type == HOST_VALUE_TEXT) {
    if (c->kind == ControlKind::Edit)
      copyText(c->text, value->text);
    else if (c->kind == ControlKind::Bool)
      copyText(c->state ? "1" : "0", value->text);
    else
      copyText("", value->text);
  } else if (value->type == HOST_VALUE_INT) {
    value->intv.value = c->kind == ControlKind::Bool ? c->state : 0;
  }
}

void controlDraw(HostControl* /*control*/, int /*drawMode*/) {}

void controlSet(HostControl* control, int tag, HostValue* value) {
  Control* c = controlOf(control);
  if (!c || !value) return;
  switch (tag) {
    case HOST_CTL_VALUE:
      if (c->kind == ControlKind::Edit && value->type == HOST_VALUE_TEXT) {
        const HostTextValue& t = value->text;
        size_t limit = t.bufLen > 0 ? static_cast<size_t>(t.bufLen) : 0;
        c->text = t.buf ? std::string(t.buf, strnlen(t.buf, limit)) : std::string();
      } else if (c->kind == ControlKind::Edit && value->type == HOST_VALUE_INT) {
        c->text = std::to_string(value->intv.value);
      } else if (c->kind == ControlKind::Bool && value->type == HOST_VALUE_INT) {
        c->state = value->intv.value != 0 ? 1 : 0;
      }
      break;
    case HOST_CTL_USERDATA:
      c->userData = value->ptr.ptr;
      break;
    case HOST_CTL_USEREVENT:
      c->onUse = reinterpret_cast<HostControlEventFunc>(value->ptr.ptr);
      break;
    default:
      break;
  }
}

}  // namespace

struct HostPanel {
  std::string title;
  std::vector<std::unique_ptr<pingwell_host::Control>> controls;
  bool madeInSession = false;
};

namespace pingwell_host {

PanelServices& PanelServices::get() {
  static PanelServices services;
  return services;
}

PanelServices::PanelServices() {
  record_.create = &PanelServices::create;
  record_.destroy = &PanelServices::destroy;
  record_.open = &PanelServices::open;
  record_.handle = &PanelServices::handle;
  record_.draw = &PanelServices::draw;
  record_.close = &PanelServices::close;
  record_.get = &PanelServices::getAttribute;
  record_.set = &PanelServices::setAttribute;
  record_.addControl = &PanelServices::addControl;
  record_.nextControl = &PanelServices::nextControl;
  // As the host does: the plug-in is to fill in the lookup itself.
  record_.globalFun = nullptr;
}

bool PanelServices::owns(HostPanel* panel) const {
  return panel && std::any_of(panels_.begin(), panels_.end(),
                              [panel](const auto& p) { return p.get() == panel; });
}

HostPanel* PanelServices::create(char* title, void* /*reserved*/) {
  auto panel = std::make_unique<HostPanel>();
  panel->title = title ? title : "";
  panel->madeInSession = get().inSession_;
  HostPanel* raw = panel.get();
  get().panels_.push_back(std::move(panel));
  return raw;
}

void PanelServices::destroy(HostPanel* panel) {
  auto& panels = get().panels_;
  panels.erase(std::remove_if(panels.begin(), panels.end(),
                              [panel](const auto& p) { return p.get() == panel; }),
               panels.end());
}

HostControl* PanelServices::addControl(HostPanel* panel, char* kindName, HostControlDesc* desc,
                                       char* label) {
  if (!get().owns(panel) || !kindName) return nullptr;
  auto control = std::make_unique<Control>();
  if (std::strcmp(kindName, "EditControl") == 0)
    control->kind = ControlKind::Edit;
  else if (std::strcmp(kindName, "ButtonControl") == 0)
    control->kind = ControlKind::Button;
  else if (std::strcmp(kindName, "TextControl") == 0)
    control->kind = ControlKind::Text;
  else if (std::strcmp(kindName, "BoolControl") == 0)
    control->kind = ControlKind::Bool;
  else
    return nullptr;
  control->label = label ? label : "";
  if (desc) {
    control->descType = desc->type;
    if (desc->type == HOST_DESC_EDIT || desc->type == HOST_DESC_BUTTON)
      control->descWidth = desc->edit.width;
    if (control->kind == ControlKind::Text && desc->type == HOST_DESC_TEXT && desc->text.text) {
      for (size_t i = 0; i < kMaxTextLines && desc->text.text[i]; ++i)
        control->descText.emplace_back(desc->text.text[i]);
    }
  }
  control->base.draw = &controlDraw;
  control->base.get = &controlGet;
  control->base.set = &controlSet;
  control->base.priv = control.get();
  HostControl* raw = &control->base;
  panel->controls.push_back(std::move(control));
  return raw;
}

int PanelServices::open(HostPanel* panel, int /*flags*/) {
  PanelServices& self = get();
  // Outside an options session nobody sits at the panel: it is cancelled.
  if (!self.owns(panel) || !self.inSession_) return 0;
  ++self.panelsOpened_;
  return self.actAsUser(*panel);
}

// A blocking panel is closed by the user; these do what the host's do to a
// panel that is not open.
int PanelServices::handle(HostPanel* panel, int /*flags*/) { return get().owns(panel) ? 0 : -1; }
void PanelServices::draw(HostPanel* /*panel*/, int /*drawMode*/) {}
void PanelServices::close(HostPanel* /*panel*/) {}
void PanelServices::getAttribute(HostPanel* /*panel*/, int /*tag*/, void* /*value*/) {}
void PanelServices::setAttribute(HostPanel* /*panel*/, int /*tag*/, void* /*value*/) {}

HostControl* PanelServices::nextControl(HostPanel* panel, HostControl* control) {
  if (!get().owns(panel) || panel->controls.empty()) return nullptr;
  if (!control) return &panel->controls.front()->base;
  for (size_t i = 0; i + 1 < panel->controls.size(); ++i)
    if (&panel->controls[i]->base == control) return &panel->controls[i + 1]->base;
  return nullptr;
}

bool PanelServices::openForModule(HostPanel* panel) {
  if (!owns(panel)) return false;
  open(panel, HOST_PANF_BLOCKING | HOST_PANF_CANCEL);
  return true;
}

int PanelServices::actAsUser(HostPanel& panel) {
  auto find = [&panel](ControlKind kind, const std::string& label) -> Control* {
    for (auto& c : panel.controls)
      if (c->kind == kind && trimmed(c->label) == label) return c.get();
    return nullptr;
  };
  for (const ScriptedUser::Edit& edit : user_.edits) {
    Control* c = find(edit.isSwitch ? ControlKind::Bool : ControlKind::Edit, edit.label);
    if (!c) {
      error_ = std::string("the panel has no ") + (edit.isSwitch ? "switch" : "text field") +
               " labelled \"" + edit.label + "\"";
      return 0;
    }
    if (edit.isSwitch)
      c->state = edit.state;
    else
      c->text = edit.text;
  }
  auto click = [&](const char* label) {
    Control* button = find(ControlKind::Button, label);
    if (!button) {
      error_ = std::string("the panel has no button labelled \"") + label + "\"";
      return false;
    }
    if (button->onUse) button->onUse(&button->base, button->userData);
    return true;
  };
  if (user_.clickGetToken && !click("Get Token")) return 0;
  if (user_.clickSendTest && !click("Send Test Message")) return 0;
  return user_.pressOk ? 1 : 0;
}

void PanelServices::beginSession(const ScriptedUser& user) {
  user_ = user;
  error_.clear();
  panelsOpened_ = 0;
  inSession_ = true;
}

std::string PanelServices::endSession() {
  inSession_ = false;
  panels_.erase(std::remove_if(panels_.begin(), panels_.end(),
                               [](const auto& p) { return p->madeInSession; }),
                panels_.end());
  bool userHadWork =
      user_.pressOk || user_.clickGetToken || user_.clickSendTest || !user_.edits.empty();
  if (error_.empty() && panelsOpened_ == 0 && userHadWork) error_ = "the module opened no panel";
  std::string error = error_;
  error_.clear();
  return error;
}

}  // namespace pingwell_host
