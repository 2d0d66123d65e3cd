#include "plugin/notifier/notifier.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "plugin/host_api/failure_report.h"
#include "plugin/previews/frame_previews.h"
#include "plugin/host_api/host_services.h"
#include "plugin/notifier/machine_name.h"
#include "plugin/notifier/message_text.h"
#include "plugin/posting/channel_ids.h"
#include "plugin/posting/posting.h"
#include "plugin/previews/preview_upload.h"
#include "plugin/notifier/settings_file.h"
#include "plugin/notifier/email_lookup.h"
#include "plugin/notifier/stall_alert_calls.h"
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

int32_t currentFrame() noexcept {
  const HostTimeInfo* time = hostServices().timeInfo;
  return time ? time->frame : 0;
}

bool tracksRenders(const NotifierInstance& notifier) {
  return switchIsOn(notifier.addRenderTimes) || switchIsOn(notifier.frameMessagesInThread) ||
         switchIsOn(notifier.progressInOneMessage);
}

bool canPost(const NotifierInstance& notifier) {
  return !notifier.token.empty() && !notifier.userName.empty() && !notifier.channel.empty();
}

PostSettings settingsOf(const NotifierInstance& notifier) {
  return {notifier.token, notifier.userName, notifier.channel};
}

// The progress message: posted into the channel when the render's first
// frame starts (again at the next frame start while that fails), edited at
// most every RenderConversation::kEditInterval as frames are rendered, and
// once more when the render completes. With the thread switch on it is the
// render's thread.
void progressStep(NotifierInstance& notifier, int eventCode, const RenderMoment& moment,
                  const char* sceneFile, const std::optional<FrameRange>& range) {
  RenderConversation& talk = notifier.conversation;
  if (eventCode == HOST_EVENT_FRAME_STARTED) {
    if (talk.hasProgress() || talk.editsEnded()) return;
    const PostResult result = postMessageAs(settingsOf(notifier), PostKind::FrameMessage,
                                            progressStartText(sceneFile, moment, range));
    if (!result.outcome.sent()) return;
    talk.takeProgress(result.outcome.channelId, result.outcome.ts);
    if (talk.hasProgress() && switchIsOn(notifier.frameMessagesInThread))
      talk.takeThread(result.outcome.ts);
    return;
  }
  const bool last = eventCode == HOST_EVENT_RENDER_DONE;
  if (!last && eventCode != HOST_EVENT_FRAME_DONE) return;
  const PluginClock::time_point now = pluginNow();
  if (last ? !talk.hasProgress() || talk.editsEnded() : !talk.editDue(now)) return;
  const std::string text =
      last ? progressEndText(sceneFile, moment) : progressFrameText(sceneFile, moment, range);
  const PostResult result =
      editMessageAs(settingsOf(notifier), last ? PostKind::RenderCompleted : PostKind::FrameMessage,
                    talk.progressChannel(), talk.progressTs(), text);
  if (result.skipped) return;
  talk.noteEdit(now);
  if (result.outcome.refusedForGood()) talk.endEdits();
}

// The scene's render range; on a render node the farm hands each node a part
// of it, so the node's own range is not known.
std::optional<FrameRange> renderRange(const HostSceneInfo* scene, bool renderNode) {
  if (scene == nullptr || renderNode) return std::nullopt;
  return FrameRange{scene->frameStart, scene->frameEnd, scene->frameStep};
}

// Posting writes the line of a failure. With the thread switch on, a
// message goes into the render's thread once it has one (the
// render-completed message shown in the channel too), and the first message
// the service accepts makes the thread.
void post(NotifierInstance& notifier, int eventCode, const std::string& text) {
  const bool inThread = switchIsOn(notifier.frameMessagesInThread);
  ThreadPlace place;
  if (inThread) {
    place.threadTs = notifier.conversation.threadTs();
    place.broadcast = eventCode == HOST_EVENT_RENDER_DONE;
  }
  const PostResult result = postMessageAs(
      settingsOf(notifier),
      eventCode == HOST_EVENT_RENDER_DONE ? PostKind::RenderCompleted : PostKind::FrameMessage,
      text, place);
  if (inThread && result.outcome.sent()) notifier.conversation.takeThread(result.outcome.ts);
}

// The stall alert's part of a render event: scheduled and moved on at frame
// events, deleted when the render ends (before its completed message).
// `moment` is the event's.
void stallAlertStep(NotifierInstance& notifier, int eventCode, const RenderMoment& moment,
                    const char* sceneFile, const std::optional<FrameRange>& range,
                    bool renderNode) {
  StallAlertContext context;
  context.token = notifier.token;
  context.userName = notifier.userName;
  context.channel = notifier.channel;
  if (sceneFile != nullptr) context.sceneFile = sceneFile;
  context.moment = moment;
  context.range = range;
  if (renderNode) context.machine = machineName();
  context.notify = notifier.notify;
  if (switchIsOn(notifier.frameMessagesInThread)) context.threadTs = notifier.conversation.threadTs();
  const PluginClock::time_point now = pluginNow();
  if (eventCode == HOST_EVENT_RENDER_DONE) {
    PostedStallAlertCalls calls(context, PostKind::RenderCompleted);
    notifier.stallAlert.renderEnded(now, calls);
    return;
  }
  const int64_t unixNow = std::chrono::duration_cast<std::chrono::seconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
  PostedStallAlertCalls calls(context, PostKind::FrameMessage);
  notifier.stallAlert.frameEvent(eventCode == HOST_EVENT_FRAME_STARTED, moment.frame,
                                 notifier.alertMinutes, now, unixNow, calls);
}

// The render's first frame after its frame-rendered event, and its last
// frame rendered whole after its completion, each posted once. The upload
// needs the channel's ID: when no reply in this process has told it yet,
// the event's own message is posted first (as if its switch were on), and
// its reply tells it.
template <typename PostEventMessage>
void previewStep(NotifierInstance& notifier, int eventCode, const RenderMoment& moment,
                 const char* sceneFile, bool messagePosted, PostEventMessage& postEventMessage) {
  RenderConversation& talk = notifier.conversation;
  const std::shared_ptr<const FramePreview> latest = FramePreviews::instance().latest();
  if (!latest) return;
  const bool last = eventCode == HOST_EVENT_RENDER_DONE;
  if (last ? talk.previewTried(latest->frame)
           : talk.firstPreviewTried() || latest->frame != moment.frame) {
    return;
  }
  // One try a frame: a first frame that is also the last is not tried again.
  talk.notePreviewTried(latest->frame);
  std::string channelId = knownChannelId(notifier.token, notifier.channel);
  if (channelId.empty() && !messagePosted) {
    postEventMessage();
    channelId = knownChannelId(notifier.token, notifier.channel);
  }
  if (channelId.empty()) {
    writeDiagnostic("error the preview of frame " + std::to_string(latest->frame) +
                    " was not posted: no message to the channel has gone through yet");
    return;
  }
  const std::string threadTs =
      switchIsOn(notifier.frameMessagesInThread) ? talk.threadTs() : std::string();
  postPreview(settingsOf(notifier), last ? PostKind::RenderCompleted : PostKind::FrameMessage,
              *latest, sceneFile, channelId, threadTs);
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
      notifier->notify = std::move(settings.notify);
    }
    notifier->notifyFrameStart = 0;
    notifier->notifyFrameDone = 0;
    notifier->notifyRenderDone = 1;
    notifier->addRenderTimes = 0;
    notifier->frameMessagesInThread = 0;
    notifier->progressInOneMessage = 0;
    notifier->alertMinutes = 0;
    return notifier.release();  // the host owns it until notifierDestroy
  } catch (...) {
    reportCurrentException();
    return nullptr;
  }
}

void notifierDestroy(void* instance) noexcept {
  // Takes back what notifierCreate handed out.
  std::unique_ptr<NotifierInstance> owned(asInstance(instance));
  if (!owned || !owned->stallAlert.holdsAlerts() || !canPost(*owned)) return;
  // An instance that goes (the host unloads the scene or the module) leaves
  // no alert behind.
  try {
    StallAlertContext context;
    context.token = owned->token;
    context.userName = owned->userName;
    context.channel = owned->channel;
    PostedStallAlertCalls calls(context, PostKind::RenderCompleted);
    owned->stallAlert.unload(pluginNow(), calls);
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
    copy.conversation = std::move(asInstance(to)->conversation);
    copy.stallAlert = std::move(asInstance(to)->stallAlert);
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
  NotifierInstance& notifier = *asInstance(instance);
  const int eventCode = access->eventCode;
  if (!isRenderEvent(eventCode)) return 0.0;  // any other event does nothing at all
  // The record notes every render event, posted or not, so that an aborted
  // render is never announced as completed; it reads the clock only while an
  // addition needs it.
  const int32_t frame = currentFrame();
  const RenderMoment moment = notifier.render.note(
      eventCode, frame, tracksRenders(notifier) ? std::optional(pluginNow()) : std::nullopt);
  if (moment.began) {
    notifier.conversation.newRender();
    // The filter hands over a render's frames after its first frame start;
    // an event later in a render must not drop what it handed over.
    if (eventCode == HOST_EVENT_RENDER_STARTING || eventCode == HOST_EVENT_FRAME_STARTED)
      FramePreviews::instance().newRender();
  }
  // Decide before touching anything: an event that posts nothing does no
  // I/O and allocates nothing.
  const int32_t* notifySwitch = switchFor(notifier, eventCode);
  const bool message = notifySwitch != nullptr && switchIsOn(*notifySwitch);
  const bool progress = switchIsOn(notifier.progressInOneMessage) &&
                        (eventCode == HOST_EVENT_FRAME_STARTED ||
                         eventCode == HOST_EVENT_FRAME_DONE || eventCode == HOST_EVENT_RENDER_DONE);
  const bool preview = (eventCode == HOST_EVENT_FRAME_DONE || eventCode == HOST_EVENT_RENDER_DONE) &&
                       FramePreviews::instance().filterApplied();
  const bool stallAlert =
      (eventCode == HOST_EVENT_FRAME_STARTED || eventCode == HOST_EVENT_FRAME_DONE ||
       eventCode == HOST_EVENT_RENDER_DONE) &&
      (StallAlert::usedMinutes(notifier.alertMinutes) > 0 || notifier.stallAlert.holdsAlerts());
  if ((!message && !progress && !preview && !stallAlert) || !canPost(notifier)) return 0.0;
  try {
    const HostSceneInfo* scene = hostServices().sceneInfo;
    const char* sceneFile = scene ? scene->filename : nullptr;
    // A render node has no user interface; its part of the range is not
    // known, and its completed message says which machine of the farm
    // finished.
    const bool renderNode = hostServices().renderNode;
    const std::optional<FrameRange> range = renderRange(scene, renderNode);
    const auto postEventMessage = [&] {
      // Only a render completed tells of an abort.
      std::string text = moment.abortedAtFrame
                             ? composeAbortedMessage(sceneFile, *moment.abortedAtFrame)
                             : composeMessage(eventCode, sceneFile, frame);
      if (switchIsOn(notifier.addRenderTimes)) {
        text += renderTimesText(
            eventCode, moment,
            renderNode && eventCode == HOST_EVENT_RENDER_DONE ? machineName() : std::string(),
            range);
      }
      // The completion, aborted or not, mentions those "Notify" names.
      if (eventCode == HOST_EVENT_RENDER_DONE && !notifier.notify.empty()) {
        text = withMentions(std::move(text),
                            mentionsLine(lookUpMentions(settingsOf(notifier),
                                                        PostKind::RenderCompleted,
                                                        notifier.notify)));
      }
      post(notifier, eventCode, text);
    };
    // The progress message comes before a frame start's message, and is
    // edited after a frame's and before the completion's.
    const bool progressFirst = eventCode != HOST_EVENT_FRAME_DONE;
    // The alert is deleted before the render's end is told; at a frame it
    // goes after the messages, into the thread they make.
    const bool alertFirst = eventCode == HOST_EVENT_RENDER_DONE;
    if (stallAlert && alertFirst)
      stallAlertStep(notifier, eventCode, moment, sceneFile, range, renderNode);
    if (progress && progressFirst) progressStep(notifier, eventCode, moment, sceneFile, range);
    if (message) postEventMessage();
    if (preview) previewStep(notifier, eventCode, moment, sceneFile, message, postEventMessage);
    if (progress && !progressFirst) progressStep(notifier, eventCode, moment, sceneFile, range);
    if (stallAlert && !alertFirst)
      stallAlertStep(notifier, eventCode, moment, sceneFile, range, renderNode);
  } catch (...) {
    reportCurrentException(notifier.token);
  }
  return 0.0;
}

}  // namespace pingwell
