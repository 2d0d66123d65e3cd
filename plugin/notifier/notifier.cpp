#include "plugin/notifier/notifier.h"

#include <chrono>
#include <cstdint>
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
#include "plugin/posting/posting_queue.h"
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
// The longest a render's completion waits for its messages to go out.
constexpr std::chrono::milliseconds kCompletionWait{15000};

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

// Who the requests of one event go out as: the instance's settings as they
// were at the event, shared by its jobs (the instance may change or go
// before they run).
struct Sender {
  std::string token;
  std::string userName;
  std::string channel;
  std::string notify;  // "Notify" as typed
  PostSettings settings() const { return {token, userName, channel}; }
};
using SenderPtr = std::shared_ptr<const Sender>;
using TalkPtr = std::shared_ptr<RenderConversation>;

// The conversation of the render in progress, made when its first request
// is handed over (an event that posts nothing allocates nothing).
const TalkPtr& conversationOf(NotifierInstance& notifier) {
  if (!notifier.conversation) notifier.conversation = std::make_shared<RenderConversation>();
  return notifier.conversation;
}

// The render's thread composes; the posting thread sends, in the order of
// the events, and reads there the replies that a later request needs (the
// thread's `ts`, the progress message, the channel's ID). A render's
// completion is never dropped; frame messages and edits may be when too
// many wait.
void handOver(bool kept, PostingJob job) {
  (void)handOverPosting(std::move(job), kept ? QueueKeep::UntilShutdown : QueueKeep::Droppable);
}

// The progress message: posted into the channel when the render's first
// frame starts (again at the next frame start while that fails), edited at
// most every RenderConversation::kEditInterval (on the render's clock, at
// the event) as frames are rendered, and once more when the render
// completes. With the thread switch on it is the render's thread.
void progressStep(NotifierInstance& notifier, const SenderPtr& sender, int eventCode,
                  const RenderMoment& moment, const char* sceneFile,
                  const std::optional<FrameRange>& range) {
  const TalkPtr& talk = conversationOf(notifier);
  if (eventCode == HOST_EVENT_FRAME_STARTED) {
    const bool inThread = switchIsOn(notifier.frameMessagesInThread);
    handOver(false, [sender, talk, inThread, text = progressStartText(sceneFile, moment, range)] {
      if (talk->hasProgress() || talk->editsEnded()) return;
      const PostResult result = postMessageAs(sender->settings(), PostKind::Skippable, text);
      if (!result.outcome.sent()) return;
      talk->takeProgress(result.outcome.channelId, result.outcome.ts);
      if (talk->hasProgress() && inThread) talk->takeThread(result.outcome.ts);
    });
    return;
  }
  const bool last = eventCode == HOST_EVENT_RENDER_DONE;
  if (!last && eventCode != HOST_EVENT_FRAME_DONE) return;
  const PluginClock::time_point now = pluginNow();
  if (!last) {
    if (!talk->editIntervalPassed(now)) return;
    talk->noteEdit(now);
  }
  std::string text =
      last ? progressEndText(sceneFile, moment) : progressFrameText(sceneFile, moment, range);
  handOver(last, [sender, talk, last, text = std::move(text)] {
    if (!talk->hasProgress() || talk->editsEnded()) return;
    const PostResult result =
        editMessageAs(sender->settings(), last ? PostKind::NeverSkipped : PostKind::Skippable,
                      talk->progressChannel(), talk->progressTs(), text);
    if (result.skipped) return;
    if (result.outcome.refusedForGood()) talk->endEdits();
  });
}

// The scene's render range; on a render node the farm hands each node a part
// of it, so the node's own range is not known.
std::optional<FrameRange> renderRange(const HostSceneInfo* scene, bool renderNode) {
  if (scene == nullptr || renderNode) return std::nullopt;
  return FrameRange{scene->frameStart, scene->frameEnd, scene->frameStep};
}

// Where an event's message goes, decided at the event.
struct MessagePlace {
  bool inThread = false;
  bool completed = false;  // the render-completed (or aborted) message
  RenderEnded renderEnded = std::nullopt;  // completed: when the render ended (none: its first try)
};

// On the posting thread. Posting writes the line of a failure. With the
// thread switch on, a message goes into the render's thread once it has one
// (the render-completed message shown in the channel too), and the first
// message the service accepts makes the thread. The render-completed (or
// aborted) message ends with the mentions of "Notify", whose addresses are
// looked up here, off the render's thread.
void sendMessage(const Sender& sender, RenderConversation& talk, MessagePlace where,
                 const std::string& text) {
  std::string named;
  if (where.completed && !sender.notify.empty()) {
    named = withMentions(text, mentionsLine(lookUpMentions(
                                   sender.settings(), PostKind::NeverSkipped, sender.notify)));
  }
  ThreadPlace place;
  if (where.inThread) {
    place.threadTs = talk.threadTs();
    place.broadcast = where.completed;
  }
  const PostResult result = postMessageAs(
      sender.settings(), where.completed ? PostKind::Completion : PostKind::Skippable,
      named.empty() ? text : named, place, where.renderEnded);
  if (where.inThread && result.outcome.sent()) talk.takeThread(result.outcome.ts);
}

// The stall alert's part of a render event, on the posting thread with the
// other requests, in their order: scheduled and moved on at frame events
// (after the event's messages, into the thread they make), deleted when the
// render ends (before its completion). The times are the event's.
void stallAlertStep(NotifierInstance& notifier, const SenderPtr& sender, int eventCode,
                    const RenderMoment& moment, const char* sceneFile,
                    const std::optional<FrameRange>& range, bool renderNode) {
  if (!notifier.stallAlert) notifier.stallAlert = std::make_shared<StallAlert>();
  auto context = std::make_shared<StallAlertContext>();
  context->token = sender->token;
  context->userName = sender->userName;
  context->channel = sender->channel;
  context->notify = sender->notify;
  if (sceneFile != nullptr) context->sceneFile = sceneFile;
  context->moment = moment;
  context->range = range;
  if (renderNode) context->machine = machineName();
  const bool inThread = switchIsOn(notifier.frameMessagesInThread);
  const PluginClock::time_point now = pluginNow();
  const bool ended = eventCode == HOST_EVENT_RENDER_DONE;
  const int64_t unixNow = std::chrono::duration_cast<std::chrono::seconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
  handOver(ended, [alert = notifier.stallAlert, talk = conversationOf(notifier), context,
                   inThread, ended, now, unixNow, eventCode, minutes = notifier.alertMinutes] {
    if (inThread) context->threadTs = talk->threadTs();
    if (ended) {
      PostedStallAlertCalls calls(*context, PostKind::NeverSkipped);
      alert->renderEnded(now, calls);
      return;
    }
    PostedStallAlertCalls calls(*context, PostKind::Skippable);
    alert->frameEvent(eventCode == HOST_EVENT_FRAME_STARTED, context->moment.frame, minutes, now,
                      unixNow, calls);
  });
}

// The render's first frame after its frame-rendered event, and its last
// frame rendered whole after its completion, each tried once; never
// dropped. The upload needs the channel's ID: when no reply in this process
// has told it when the upload's turn comes, the event's own message
// (`eventText`, composed when its switch is off) is posted first, and its
// reply tells it. The JPEG is made on the posting thread.
void previewStep(NotifierInstance& notifier, const SenderPtr& sender, int eventCode,
                 const RenderMoment& moment, const char* sceneFile, MessagePlace where,
                 std::optional<std::string> eventText) {
  RenderConversation& talk = *conversationOf(notifier);
  std::shared_ptr<const FramePreview> latest = FramePreviews::instance().latest();
  if (!latest) return;
  const bool last = eventCode == HOST_EVENT_RENDER_DONE;
  if (last ? talk.previewTried(latest->frame)
           : talk.firstPreviewTried() || latest->frame != moment.frame) {
    return;
  }
  // One try a frame: a first frame that is also the last is not tried again.
  talk.notePreviewTried(latest->frame);
  std::optional<std::string> scene;
  if (sceneFile != nullptr) scene = sceneFile;
  (void)handOverPosting([sender, talk = conversationOf(notifier), where, last, latest = std::move(latest),
                  scene = std::move(scene), eventText = std::move(eventText)] {
    std::string channelId = knownChannelId(sender->token, sender->channel);
    if (channelId.empty() && eventText) {
      sendMessage(*sender, *talk, where, *eventText);
      channelId = knownChannelId(sender->token, sender->channel);
    }
    if (channelId.empty()) {
      writeDiagnostic("error the preview of frame " + std::to_string(latest->frame) +
                      " was not posted: no message to the channel has gone through yet");
      return;
    }
    const std::string threadTs = where.inThread ? talk->threadTs() : std::string();
    postPreview(sender->settings(), last ? PostKind::NeverSkipped : PostKind::Skippable,
                *latest, scene ? scene->c_str() : nullptr, channelId, threadTs);
  }, QueueKeep::Preview);
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
  if (!owned || !owned->stallAlert || !canPost(*owned)) return;
  // An instance that goes (its scene is cleared, the host unloads the
  // module) leaves no alert behind: the posting thread deletes what it
  // holds before the module's shutdown ends.
  try {
    auto context = std::make_shared<StallAlertContext>();
    context->token = owned->token;
    context->userName = owned->userName;
    context->channel = owned->channel;
    handOver(true, [alert = owned->stallAlert, context, now = pluginNow()] {
      if (!alert->holdsAlerts()) return;
      PostedStallAlertCalls calls(*context, PostKind::NeverSkipped);
      alert->unload(now, calls);
    });
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
    // Requests still queued keep the conversation of their own render; the
    // next request of this one makes a new one.
    notifier.conversation.reset();
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
  const bool completed = eventCode == HOST_EVENT_RENDER_DONE;
  // The alert's part, while it is on, and after it was on while an alert may
  // still be held.
  const bool stallAlert =
      (eventCode == HOST_EVENT_FRAME_STARTED || eventCode == HOST_EVENT_FRAME_DONE || completed) &&
      (StallAlert::usedMinutes(notifier.alertMinutes) > 0 || notifier.stallAlert);
  if ((!message && !progress && !preview && !stallAlert) || !canPost(notifier)) {
    // Nothing renders any more: a render node or a script may quit the
    // host right after this event, so what the render queued gets its time
    // to go out.
    if (completed) (void)waitForPosting(latestPosting(), kCompletionWait);
    return 0.0;
  }
  try {
    const HostSceneInfo* scene = hostServices().sceneInfo;
    const char* sceneFile = scene ? scene->filename : nullptr;
    // A render node has no user interface; its part of the range is not
    // known, and its completed message says which machine of the farm
    // finished.
    const bool renderNode = hostServices().renderNode;
    const std::optional<FrameRange> range = renderRange(scene, renderNode);
    const auto eventText = [&] {
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
      return text;
    };
    const auto sender = std::make_shared<const Sender>(
        Sender{notifier.token, notifier.userName, notifier.channel, notifier.notify});
    const MessagePlace where{switchIsOn(notifier.frameMessagesInThread), completed};
    // The progress message comes before a frame start's message, and is
    // edited after a frame's and before the completion's.
    const bool progressFirst = eventCode != HOST_EVENT_FRAME_DONE;
    if (stallAlert && completed)
      stallAlertStep(notifier, sender, eventCode, moment, sceneFile, range, renderNode);
    if (progress && progressFirst)
      progressStep(notifier, sender, eventCode, moment, sceneFile, range);
    if (message) {
      handOver(completed, [sender, talk = conversationOf(notifier), where, text = eventText()] {
        sendMessage(*sender, *talk, where, text);
      });
    }
    // What the completion waits for: every request queued so far, its own
    // included; not the preview it queues next.
    const std::uint64_t waitFor = completed ? latestPosting() : 0;
    if (preview) {
      previewStep(notifier, sender, eventCode, moment, sceneFile, where,
                  message ? std::nullopt : std::optional<std::string>(eventText()));
    }
    if (progress && !progressFirst)
      progressStep(notifier, sender, eventCode, moment, sceneFile, range);
    if (stallAlert && !completed)
      stallAlertStep(notifier, sender, eventCode, moment, sceneFile, range, renderNode);
    // Nothing renders any more: a render node or a script may quit the host
    // right after this event, so the render's requests so far, its
    // completion included, get their time to go out.
    if (completed) (void)waitForPosting(waitFor, kCompletionWait);
  } catch (...) {
    reportCurrentException(notifier.token);
  }
  return 0.0;
}

}  // namespace pingwell
