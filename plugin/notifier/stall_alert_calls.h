#pragma once
// The stall alert's calls for one instance, made through posting:
// chat.scheduleMessage, chat.deleteScheduledMessage and the message that a
// render goes on after its alert was posted. Holds copies of what its texts
// need, so that it may be made on one thread and used on another.
#include <optional>
#include <string>

#include "plugin/notifier/render_record.h"
#include "plugin/notifier/stall_alert.h"
#include "plugin/posting/posting.h"

namespace pingwell {

// What the alert's texts say besides the plan: the scene, the event's
// moment (its range part), the machine on a render node, the mentions.
struct StallAlertContext {
  std::string token;
  std::string userName;
  std::string channel;
  std::string sceneFile;  // empty: an unsaved scene
  RenderMoment moment;
  std::optional<FrameRange> range;
  std::string machine;   // on a render node
  std::string notify;    // "Notify" as typed
  std::string threadTs;  // the render's thread, with the thread switch on
};

class PostedStallAlertCalls : public StallAlertCalls {
 public:
  // Deletes go as `deleteKind`: a frame message's (skipped while paused)
  // during a render, a render-completed message's at its end.
  PostedStallAlertCalls(const StallAlertContext& context, PostKind deleteKind)
      : context_(context), deleteKind_(deleteKind) {}

  // The alert's text: see stallAlertText, with the mentions' line.
  std::string alertText(const StallAlertPlan& plan);

  std::optional<ScheduledAlert> schedule(const StallAlertPlan& plan) override;
  AlertDeleteAnswer remove(const ScheduledAlert& alert) override;
  void goingAgain(int32_t frame, int64_t silentMinutes) override;

 private:
  PostSettings settings() const {
    return {context_.token, context_.userName, context_.channel};
  }
  const char* sceneFile() const {
    return context_.sceneFile.empty() ? nullptr : context_.sceneFile.c_str();
  }

  const StallAlertContext& context_;
  PostKind deleteKind_;
};

}  // namespace pingwell
