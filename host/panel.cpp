#include "panel.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "script.h"
#include "standin_services.h"

namespace {

using pingwell_host::trimmed;

using pingwell_host::Control;
using pingwell_host::ControlKind;
using pingwell_host::PanelServices;

// The kinds of control the host makes, by the name the module asks for.
const struct {
  ControlKind kind;
  const char* name;
} kControlKinds[] = {
    {ControlKind::Edit, "EditControl"},
    {ControlKind::Button, "ButtonControl"},
    {ControlKind::Text, "TextControl"},
    {ControlKind::Bool, "BoolControl"},
    {ControlKind::Number, "NumControl"},
};

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

// As a careless host does: the buffer filled whole, unterminated when the
// text does not fit.
void copyTextSloppily(const std::string& text, HostTextValue& value) {
  if (!value.buf || value.bufLen <= 0) return;
  size_t room = static_cast<size_t>(value.bufLen);
  std::memcpy(value.buf, text.data(), std::min(room, text.size()));
  if (text.size() < room) value.buf[text.size()] = '\0';
}

void controlGet(HostControl* control, int tag, HostValue* value) {
  Control* c = controlOf(control);
  if (!c || !value || tag != HOST_CTL_VALUE) return;
  if (value->type == HOST_VALUE_TEXT) {
    if (c->kind == ControlKind::Edit && PanelServices::get().faults().sloppyTextGet)
      copyTextSloppily(c->text, value->text);
    else if (c->kind == ControlKind::Edit)
      copyText(c->text, value->text);
    else if (c->kind == ControlKind::Bool)
      copyText(c->state ? "1" : "0", value->text);
    else if (c->kind == ControlKind::Number)
      copyText(std::to_string(c->state), value->text);
    else
      copyText("", value->text);
  } else if (value->type == HOST_VALUE_INT) {
    value->intv.value =
        c->kind == ControlKind::Bool || c->kind == ControlKind::Number ? c->state : 0;
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
        c->shownText = c->text;
      } else if (c->kind == ControlKind::Edit && value->type == HOST_VALUE_INT) {
        c->text = std::to_string(value->intv.value);
        c->shownValue = value->intv.value;
      } else if (c->kind == ControlKind::Bool && value->type == HOST_VALUE_INT) {
        c->state = value->intv.value != 0 ? 1 : 0;
        c->shownValue = value->intv.value;
      } else if (c->kind == ControlKind::Number && value->type == HOST_VALUE_INT) {
        c->state = value->intv.value;
        c->shownValue = value->intv.value;
      }
      break;
    case HOST_CTL_USERDATA:
      c->userData = value->ptr.ptr;
      c->userDataSet = true;
      break;
    case HOST_CTL_USEREVENT:
      c->onUse = reinterpret_cast<HostControlEventFunc>(value->ptr.ptr);
      break;
    default:
      break;
  }
}

}  // namespace

namespace pingwell_host {

const char* controlKindName(ControlKind kind) {
  for (const auto& k : kControlKinds)
    if (k.kind == kind) return k.name;
  return "";
}

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
  if (get().faults_.refusePanels) return nullptr;
  auto panel = std::make_unique<HostPanel>();
  panel->title = title ? title : "";
  panel->madeInSession = get().inSession_;
  HostPanel* raw = panel.get();
  get().panels_.push_back(std::move(panel));
  return raw;
}

// Kept, as destroyed, for a look at what the module did with it; released
// when the next session ends.
void PanelServices::destroy(HostPanel* panel) {
  if (get().owns(panel)) panel->destroyed = true;
}

HostControl* PanelServices::addControl(HostPanel* panel, char* kindName, HostControlDesc* desc,
                                       char* label) {
  PanelServices& self = get();
  if (!self.owns(panel) || panel->destroyed || !kindName) return nullptr;
  if (!self.faults_.refuseControlLabel.empty() && label && self.faults_.refuseControlLabel == label)
    return nullptr;
  auto control = std::make_unique<Control>();
  const auto* kind =
      std::find_if(std::begin(kControlKinds), std::end(kControlKinds),
                   [kindName](const auto& k) { return std::strcmp(kindName, k.name) == 0; });
  if (kind == std::end(kControlKinds)) return nullptr;
  control->kind = kind->kind;
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

int PanelServices::open(HostPanel* panel, int flags) {
  PanelServices& self = get();
  if (!self.owns(panel) || panel->destroyed) return 0;
  panel->opened = true;
  panel->openFlags = flags;
  if (self.inSession_) {
    ++self.panelsOpened_;
    return self.actAsUser(*panel, self.user_);
  }
  if (self.attendant_) return self.actAsUser(*panel, self.attendant_());
  // Outside an options session nobody sits at the panel: it is cancelled.
  return 0;
}

// A blocking panel is closed by the user; these do what the host's do to a
// panel that is not open.
int PanelServices::handle(HostPanel* panel, int /*flags*/) {
  return get().owns(panel) && !panel->destroyed ? 0 : -1;
}
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

int PanelServices::actAsUser(HostPanel& panel, const ScriptedUser& user) {
  auto find = [&panel](ControlKind kind, const std::string& label) -> Control* {
    for (auto& c : panel.controls)
      if (c->kind == kind && trimmed(c->label) == label) return c.get();
    return nullptr;
  };
  for (const ScriptedUser::Edit& edit : user.edits) {
    const ControlKind kind = edit.isNumber   ? ControlKind::Number
                             : edit.isSwitch ? ControlKind::Bool
                                             : ControlKind::Edit;
    Control* c = find(kind, edit.label);
    if (!c) {
      error_ = std::string("the panel has no ") +
               (edit.isNumber ? "number field" : edit.isSwitch ? "switch" : "text field") +
               " labelled \"" + edit.label + "\"";
      return 0;
    }
    if (edit.isSwitch || edit.isNumber)
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
  if (user.clickGetToken && !click("Get Token")) return 0;
  if (user.clickSendTest && !click("Send Test Message")) return 0;
  return user.pressOk ? 1 : 0;
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
                               [](const auto& p) { return p->madeInSession || p->destroyed; }),
                panels_.end());
  bool userHadWork =
      user_.pressOk || user_.clickGetToken || user_.clickSendTest || !user_.edits.empty();
  if (error_.empty() && panelsOpened_ == 0 && userHadWork) error_ = "the module opened no panel";
  std::string error = error_;
  error_.clear();
  return error;
}

void PanelServices::reset() {
  panels_.clear();
  inSession_ = false;
  panelsOpened_ = 0;
  user_ = ScriptedUser();
  error_.clear();
  attendant_ = nullptr;
  faults_ = PanelFaults();
  record_.globalFun = nullptr;
}

}  // namespace pingwell_host
