#include "plugin/notifier/notifier.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "plugin/host_api/failure_report.h"
#include "plugin/host_api/host_services.h"
#include "plugin/notifier/render_event.h"
#include "plugin/posting/posting_queue.h"
#include "plugin/notifier/settings_file.h"

namespace pingwell {

namespace {

constexpr float kSceneBlockLead = 0.01f;
constexpr const char* kDescription = "voro2 pingwell";
constexpr unsigned int kRenderEventFlags = HOST_MASTER_RECEIVE_NOTIFICATIONS;
// The longest a render's completion waits for its messages to go out.
constexpr std::chrono::milliseconds kCompletionWait{15000};

NotifierInstance* asInstance(void* instance) { return static_cast<NotifierInstance*>(instance); }

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
      notifier->notify = std::move(settings.notify);
    }
    // The switches are as NotifierInstance starts them: the render-completed
    // message alone on.
    return notifier.release();  // the host owns it until notifierDestroy
  } catch (...) {
    reportCurrentException();
    return nullptr;
  }
}

void notifierDestroy(void* instance) noexcept {
  // Takes back what notifierCreate handed out.
  std::unique_ptr<NotifierInstance> owned(asInstance(instance));
  if (!owned) return;
  // An instance that goes (its scene is cleared, the host unloads the
  // module) leaves no alert behind, whatever its settings are now.
  try {
    owned->features.unload();
  } catch (...) {
    reportCurrentException(owned->token);
  }
}

const char* notifierCopy(void* to, void* from) noexcept {
  if (to == nullptr || from == nullptr || to == from) return nullptr;
  try {
    // Copy first, then move in, so that a failed copy leaves `to` whole.
    // `to` keeps the renders it has seen itself.
    NotifierInstance copy = *asInstance(from);
    copy.render = std::move(asInstance(to)->render);
    copy.features = std::move(asInstance(to)->features);
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
  // Scenes saved before these existed end before them: they load as off.
  for (int32_t* field : {&notifier.addRenderTimes, &notifier.frameMessagesInThread,
                         &notifier.progressInOneMessage, &notifier.alertMinutes}) {
    int value = 0;
    const bool read = state->readI4 != nullptr && state->readI4(state->readData, &value, 1) == 1;
    *field = read ? value : 0;
  }
  return nullptr;
}

const char* notifierSave(void* instance, const HostSaveState* state) noexcept {
  if (instance == nullptr || state == nullptr) return nullptr;
  const NotifierInstance& notifier = *asInstance(instance);
  if (state->writeFP != nullptr) state->writeFP(state->writeData, &kSceneBlockLead, 1);
  if (state->writeI4 != nullptr) {
    for (const int32_t* field :
         {&notifier.notifyRenderDone, &notifier.notifyFrameStart, &notifier.notifyFrameDone,
          &notifier.addRenderTimes, &notifier.frameMessagesInThread,
          &notifier.progressInOneMessage, &notifier.alertMinutes}) {
      state->writeI4(state->writeData, field, 1);
    }
  }
  return nullptr;
}

const char* notifierDescribe(void* /*instance*/) noexcept { return kDescription; }

unsigned int notifierFlags(void* /*instance*/) noexcept { return kRenderEventFlags; }

double notifierEvent(void* instance, const HostMasterAccess* access) noexcept {
  if (instance == nullptr || access == nullptr) return 0.0;
  if (!isRenderEvent(access->eventCode)) return 0.0;  // any other event does nothing at all
  NotifierInstance& notifier = *asInstance(instance);
  const RenderEvent event(notifier, access->eventCode);
  if (event.moment().began) notifier.features.newRender(event);
  try {
    // What the features keep of every event, posted or not: the frame
    // times of the chart, while a message will carry it.
    notifier.features.note(event);
    // Decided before anything else is touched: an event that posts nothing
    // does no I/O and allocates nothing.
    const bool posts = notifier.features.anyToSend(event);
    const std::uint64_t completion = posts ? notifier.features.post(event) : 0;
    // Nothing renders any more: a render node or a script may quit the host
    // right after this event, so the render's requests so far, its
    // completion included, get their time to go out.
    if (event.ended()) (void)waitForPosting(posts ? completion : latestPosting(), kCompletionWait);
  } catch (...) {
    reportCurrentException(notifier.token);
  }
  return 0.0;
}

}  // namespace pingwell
