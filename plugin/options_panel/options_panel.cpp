#include "plugin/options_panel/options_panel.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "plugin/host_api/failure_report.h"
#include "plugin/host_api/host_services.h"
#include "plugin/options_panel/open_url.h"
#include "plugin/notifier/settings_file.h"
#include "plugin/options_panel/test_message.h"
#include "plugin/options_panel/token_page.h"
#include "slack/diagnostics.h"

namespace pingwell {

namespace {

// The initial values are formatted into a buffer of this size; longer texts
// (a hand-edited settings file) are shown cut.
constexpr int kShownTextSize = 1024;
constexpr int kModalWithCancel = HOST_PANF_BLOCKING | HOST_PANF_CANCEL;
// What the field holds is what the settings file keeps.
static_assert(kNotifyTextSize == kLongestNotify + 1);

const char* kCreditLines[] = {"voro2 pingwell: render notifications to Slack", nullptr};

// The host releases the panel and its controls once the run is over,
// however it ends.
class PanelHandle {
 public:
  PanelHandle(const HostPanelServices& services, HostPanel* panel)
      : services_(services), panel_(panel) {}
  ~PanelHandle() {
    if (panel_ != nullptr && services_.destroy != nullptr) services_.destroy(panel_);
  }
  PanelHandle(const PanelHandle&) = delete;
  PanelHandle& operator=(const PanelHandle&) = delete;
  HostPanel* get() const { return panel_; }

 private:
  const HostPanelServices& services_;
  HostPanel* panel_;
};

struct Controls {
  HostControl* token = nullptr;
  HostControl* getToken = nullptr;
  HostControl* name = nullptr;
  HostControl* channel = nullptr;
  HostControl* notify = nullptr;
  HostControl* credit = nullptr;
  HostControl* renderDone = nullptr;
  HostControl* frameStart = nullptr;
  HostControl* frameDone = nullptr;
  HostControl* renderTimes = nullptr;
  HostControl* thread = nullptr;
  HostControl* progress = nullptr;
  HostControl* alertMinutes = nullptr;
  HostControl* sendTest = nullptr;

  bool complete() const {
    for (HostControl* control : {token, getToken, name, channel, notify, credit, renderDone,
                                 frameStart, frameDone, renderTimes, thread, progress,
                                 alertMinutes, sendTest}) {
      if (control == nullptr || control->get == nullptr || control->set == nullptr) return false;
    }
    return true;
  }
};

// One descriptor serves every control; each kind sets only what it needs,
// so the button inherits the token field's width.
Controls addControls(const HostPanelServices& services, HostPanel* panel) {
  Controls controls;
  HostControlDesc desc{};
  // The host reads kind and label during the call and never writes them.
  auto add = [&](const char* kind, const char* label) {
    return services.addControl(panel, const_cast<char*>(kind), &desc, const_cast<char*>(label));
  };
  desc.type = HOST_DESC_EDIT;
  desc.edit.width = 100;
  controls.token = add("EditControl", "Token");
  desc.type = HOST_DESC_BUTTON;
  controls.getToken = add("ButtonControl", "Get Token");
  desc.type = HOST_DESC_EDIT;
  desc.edit.width = 50;
  controls.name = add("EditControl", "Name");
  controls.channel = add("EditControl", "Channel");
  controls.notify = add("EditControl", "Notify");
  desc.type = HOST_DESC_TEXT;
  desc.text.text = kCreditLines;
  controls.credit = add("TextControl", "");
  desc.type = HOST_DESC_BOOL;
  controls.renderDone = add("BoolControl", "Message when render completes   ");
  controls.frameStart = add("BoolControl", "Message when a new frame renders");
  controls.frameDone = add("BoolControl", "Message when a frame is complete ");
  controls.renderTimes = add("BoolControl", "Add render times");
  controls.thread = add("BoolControl", "Frame messages in a thread");
  controls.progress = add("BoolControl", "Progress in one message");
  desc.type = HOST_DESC_NUMBER;
  controls.alertMinutes = add("NumControl", "Alert after minutes without a frame");
  desc.type = HOST_DESC_BUTTON;
  controls.sendTest = add("ButtonControl", "Send Test Message");
  return controls;
}

void showText(HostControl* control, const std::string& text) {
  char shown[kShownTextSize];
  std::snprintf(shown, sizeof shown, "%s", text.c_str());
  HostValue value{};
  value.text.type = HOST_VALUE_TEXT;
  value.text.buf = shown;
  value.text.bufLen = kShownTextSize;
  control->set(control, HOST_CTL_VALUE, &value);
}

void setPointer(HostControl* control, int tag, void* pointer) {
  HostValue value{};
  value.ptr.type = HOST_VALUE_INT;
  value.ptr.ptr = pointer;
  control->set(control, tag, &value);
}

// A switch that a scene loaded as 2 counts as off, and so it is shown: the
// box shows what the notifier will do.
void showSwitch(HostControl* control, int32_t state) {
  HostValue value{};
  value.intv.type = HOST_VALUE_INT;
  value.intv.value = switchIsOn(state) ? 1 : 0;
  control->set(control, HOST_CTL_VALUE, &value);
}

// Reads the field into `landing`; whatever the host does, the text ends at
// the buffer's last byte at the latest.
void readText(HostControl* control, char* landing, int size) {
  std::memset(landing, 0, static_cast<size_t>(size));
  HostValue value{};
  value.text.type = HOST_VALUE_TEXT;
  value.text.buf = landing;
  value.text.bufLen = size;
  control->get(control, HOST_CTL_VALUE, &value);
  landing[size - 1] = '\0';
}

void showNumber(HostControl* control, int32_t number) {
  HostValue value{};
  value.intv.type = HOST_VALUE_INT;
  value.intv.value = number;
  control->set(control, HOST_CTL_VALUE, &value);
}

void readNumber(HostControl* control, int32_t& number) {
  HostValue value{};
  value.intv.type = HOST_VALUE_INT;
  value.intv.value = number;
  control->get(control, HOST_CTL_VALUE, &value);
  number = value.intv.value;
}

void readSwitch(HostControl* control, int32_t& state) {
  HostValue value{};
  value.intv.type = HOST_VALUE_INT;
  value.intv.value = switchIsOn(state) ? 1 : 0;
  control->get(control, HOST_CTL_VALUE, &value);
  state = value.intv.value;
}

// A settings value is one line of the file: a line break in a field would
// shift the values after it, so the text ends at the first one.
std::string settingsValue(const char* landing) {
  return std::string(landing, std::strcspn(landing, "\r\n"));
}

// What a field shows now, as OK would store it.
std::string shownValue(HostControl* control, int size) {
  std::string landing(static_cast<size_t>(size), '\0');
  readText(control, landing.data(), size);
  return settingsValue(landing.c_str());
}

// Event function of the "Send Test Message" button; `userData` is the
// panel's Controls, alive while the panel is open.
void onSendTestMessage(HostControl* /*control*/, void* userData) noexcept {
  try {
    const auto* controls = static_cast<const Controls*>(userData);
    if (controls == nullptr) return;
    const std::string token(settingsToken(shownValue(controls->token, kTokenTextSize)));
    showTestOutcome(sendTestMessage(token, shownValue(controls->name, kNameTextSize),
                                    shownValue(controls->channel, kChannelTextSize),
                                    shownValue(controls->notify, kNotifyTextSize)));
  } catch (...) {
    reportCurrentException();
  }
}

// The switches, each with the instance's value it shows and sets.
using SwitchList = std::array<std::pair<HostControl*, int32_t*>, 6>;
SwitchList switchesOf(const Controls& controls, NotifierInstance& notifier) {
  return {{{controls.renderDone, &notifier.notifyRenderDone},
           {controls.frameStart, &notifier.notifyFrameStart},
           {controls.frameDone, &notifier.notifyFrameDone},
           {controls.renderTimes, &notifier.addRenderTimes},
           {controls.thread, &notifier.frameMessagesInThread},
           {controls.progress, &notifier.progressInOneMessage}}};
}

// The instance's values into the controls, and the two buttons wired.
void showInstance(const Controls& controls, const NotifierInstance& notifier,
                  const SwitchList& switches) {
  showText(controls.token, notifier.token);
  setPointer(controls.getToken, HOST_CTL_USERDATA, nullptr);
  setPointer(controls.getToken, HOST_CTL_USEREVENT,
             reinterpret_cast<void*>(static_cast<HostControlEventFunc>(&onGetToken)));
  showText(controls.name, notifier.userName);
  showText(controls.channel, notifier.channel);
  showText(controls.notify, notifier.notify);
  for (const auto& [control, state] : switches) showSwitch(control, *state);
  showNumber(controls.alertMinutes, notifier.alertMinutes);
  setPointer(controls.sendTest, HOST_CTL_USERDATA, const_cast<Controls*>(&controls));
  setPointer(controls.sendTest, HOST_CTL_USEREVENT,
             reinterpret_cast<void*>(static_cast<HostControlEventFunc>(&onSendTestMessage)));
}

// After OK: the texts into the landing buffers, the switches and the
// minutes into the instance.
void readPanel(const Controls& controls, NotifierInstance& notifier, const SwitchList& switches) {
  readText(controls.token, notifier.tokenText, kTokenTextSize);
  readText(controls.name, notifier.nameText, kNameTextSize);
  readText(controls.channel, notifier.channelText, kChannelTextSize);
  readText(controls.notify, notifier.notifyText, kNotifyTextSize);
  for (const auto& [control, state] : switches) readSwitch(control, *state);
  readNumber(controls.alertMinutes, notifier.alertMinutes);
}

// The landing buffers' texts into the settings file, and into the instance
// once the file could be opened (as read back when it was written whole).
void storeTexts(NotifierInstance& notifier) {
  SettingsLines entered{std::string(settingsToken(settingsValue(notifier.tokenText))),
                        settingsValue(notifier.nameText), settingsValue(notifier.channelText),
                        settingsValue(notifier.notifyText)};
  const std::string path = settingsFilePath(hostSettingsFolder());
  SettingsFileWriter writer(path);
  if (!writer.isOpen()) {
    // The switches are taken, the texts are not: say so, or the user
    // believes the new token was stored.
    writeDiagnostic("error cannot write the settings file " +
                    (path.empty() ? std::string("(the host names no settings folder)") : path) +
                    "; token, name and channel were not changed");
    return;
  }
  notifier.token = entered.token;
  notifier.userName = entered.userName;
  notifier.channel = entered.channel;
  notifier.notify = entered.notify;
  if (!writer.writeAndClose(entered)) {
    writeDiagnostic("error the settings file " + path +
                    " could not be written; it keeps its old contents");
    return;
  }
  SettingsLines stored;
  if (readSettingsFile(path, stored)) {
    notifier.token = std::move(stored.token);
    notifier.userName = std::move(stored.userName);
    notifier.channel = std::move(stored.channel);
    notifier.notify = std::move(stored.notify);
  }
}

}  // namespace

void* runOptionsPanel(NotifierInstance* instance) noexcept {
  if (instance == nullptr) return nullptr;
  try {
    const HostPanelServices* services = hostServices().panelServices;
    if (services == nullptr || services->create == nullptr || services->addControl == nullptr ||
        services->open == nullptr) {
      return nullptr;
    }
    const PanelHandle panel(*services, services->create(const_cast<char*>(kPanelTitle), nullptr));
    if (panel.get() == nullptr) return nullptr;
    const Controls controls = addControls(*services, panel.get());
    if (!controls.complete()) return nullptr;
    const SwitchList switches = switchesOf(controls, *instance);
    showInstance(controls, *instance, switches);
    if (services->open(panel.get(), kModalWithCancel) == 0) return nullptr;
    readPanel(controls, *instance, switches);
    storeTexts(*instance);
  } catch (...) {
    reportCurrentException();
  }
  return nullptr;
}

void onGetToken(HostControl* /*control*/, void* /*userData*/) noexcept {
  const std::string address = tokenPageAddress();
  openUrlInBrowser(address.empty() ? kAppsPage : address.c_str());
}

}  // namespace pingwell
