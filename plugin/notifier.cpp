#include "plugin/notifier.h"

#include <memory>
#include <string>

#include "plugin/failure_report.h"
#include "plugin/kept_services.h"
#include "plugin/message_text.h"
#include "plugin/posting.h"
#include "plugin/settings_file.h"
#include "slack/diagnostics.h"

namespace pingwell {

namespace {

constexpr float kSceneBlockLead = 0.01f;
constexpr const char* kDescription = "voro2 pingwell";
constexpr unsigned int kRenderEventFlags = HOST_MASTER_RECEIVE_NOTIFICATIONS;

NotifierInstance* asInstance(void* instance) { return static_cast<NotifierInstance*>(instance); }

// The switch that governs `eventCode`, or null for an event we do not post.
const int32_t* switchFor(const NotifierInstance& notifier, int eventCode) {
  switch (eventCode) {
    case HOST_EVENT_FRAME_STARTED:
      return &notifier.notifyFrameStart;
    case HOST_EVENT_FRAME_DONE:
      return &notifier.notifyFrameDone;
    case HOST_EVENT_RENDER_DONE:
      return &notifier.notifyRenderDone;
    default:
      return nullptr;
  }
}

// A failure is one line on the error stream; a named error of the service
// has had its warning line from the client already.
void post(const NotifierInstance& notifier, int eventCode, const std::string& text) {
  const PostResult result = postMessageAs(
      {notifier.token, notifier.userName, notifier.channel},
      eventCode == HOST_EVENT_RENDER_DONE ? PostKind::RenderCompleted : PostKind::FrameMessage,
      text);
  if (!result.skipped && !result.outcome.failure.empty())
    writeDiagnostic(maskSecret("error " + result.outcome.failure, notifier.token));
}

}  // namespace

void* notifierCreate(void* priv, void* /*context*/, const char** /*error*/) noexcept {
  try {
    auto notifier = std::make_unique<NotifierInstance>();
    notifier->hostGlobal = reinterpret_cast<HostGlobalFunc>(priv);
    SettingsLines settings;
    if (readSettingsFile(settingsFilePath(hostSettingsFolder()), settings)) {
      notifier->token = std::move(settings.token);
      notifier->userName = std::move(settings.userName);
      notifier->channel = std::move(settings.channel);
    }
    notifier->notifyFrameStart = 0;
    notifier->notifyFrameDone = 0;
    notifier->notifyRenderDone = 1;
    return notifier.release();  // the host owns it until notifierDestroy
  } catch (...) {
    reportCurrentException();
    return nullptr;
  }
}

void notifierDestroy(void* instance) noexcept {
  // Takes back what notifierCreate handed out.
  std::unique_ptr<NotifierInstance> owned(asInstance(instance));
}

const char* notifierCopy(void* to, void* from) noexcept {
  if (to == nullptr || from == nullptr || to == from) return nullptr;
  try {
    // Copy first, then move in, so that a failed copy leaves `to` whole.
    NotifierInstance copy = *asInstance(from);
    *asInstance(to) = std::move(copy);
  } catch (...) {
    reportCurrentException();
  }
  return nullptr;
}

// Each value is read and written singly: in a scene, one line each.
const char* notifierLoad(void* instance, const HostLoadState* state) noexcept {
  if (instance == nullptr || state == nullptr) return nullptr;
  NotifierInstance& notifier = *asInstance(instance);
  if (state->readFP != nullptr) {
    float lead = 0.0f;
    (void)state->readFP(state->readData, &lead, 1);
  }
  if (state->readI4 != nullptr) {
    for (int32_t* field :
         {&notifier.notifyRenderDone, &notifier.notifyFrameStart, &notifier.notifyFrameDone}) {
      int value = *field;
      if (state->readI4(state->readData, &value, 1) == 1) *field = value;
    }
  }
  return nullptr;
}

const char* notifierSave(void* instance, const HostSaveState* state) noexcept {
  if (instance == nullptr || state == nullptr) return nullptr;
  const NotifierInstance& notifier = *asInstance(instance);
  if (state->writeFP != nullptr) state->writeFP(state->writeData, &kSceneBlockLead, 1);
  if (state->writeI4 != nullptr) {
    for (const int32_t* field :
         {&notifier.notifyRenderDone, &notifier.notifyFrameStart, &notifier.notifyFrameDone}) {
      state->writeI4(state->writeData, field, 1);
    }
  }
  return nullptr;
}

const char* notifierDescribe(void* /*instance*/) noexcept { return kDescription; }

unsigned int notifierFlags(void* /*instance*/) noexcept { return kRenderEventFlags; }

double notifierEvent(void* instance, const HostMasterAccess* access) noexcept {
  if (instance == nullptr || access == nullptr) return 0.0;
  const NotifierInstance& notifier = *asInstance(instance);
  // Decide before touching anything: an event that posts nothing does no
  // I/O and allocates nothing.
  const int32_t* notifySwitch = switchFor(notifier, access->eventCode);
  if (notifySwitch == nullptr || !switchIsOn(*notifySwitch)) return 0.0;
  if (notifier.token.empty() || notifier.userName.empty() || notifier.channel.empty()) return 0.0;
  try {
    const HostSceneInfo* scene = keptServices().sceneInfo;
    const HostTimeInfo* time = keptServices().timeInfo;
    const std::string text = composeMessage(access->eventCode, scene ? scene->filename : nullptr,
                                            time ? time->frame : 0);
    post(notifier, access->eventCode, text);
  } catch (...) {
    reportCurrentException(notifier.token);
  }
  return 0.0;
}

}  // namespace pingwell
