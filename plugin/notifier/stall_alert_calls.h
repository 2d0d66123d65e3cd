#pragma once
// The stall alert's calls for one instance, made through posting:
// chat.scheduleMessage for the alert and for what follows one the service
// would not delete, chat.deleteScheduledMessage with each alert's own token,
// and the message that a render goes on after its alert was posted. None is
// skipped while frame messages pause: an alert that is not moved on goes off
// during a render that goes well. Holds a reference to what its texts need,
// copied by the caller, so that it may be made on one thread and used on
// another.
#include <optional>
#include <string>

#include "plugin/notifier/render_record.h"
#include "plugin/notifier/stall_alert.h"
#include "plugin/posting/posting.h"

namespace pingwell {

// Who schedules, and what the alert's texts say besides the plan: the scene,
// the event's moment (its range part), the machine on a render node, the
// mentions. An instance that can no longer post leaves all empty: deletes
// need none of it.
struct StallAlertContext {
  std::string token;
  std::string userName;
  std::string channel;
  std::string sceneFile;  // empty: an unsaved scene
  RenderMoment moment;
  std::optional<FrameRange> range;
  std::string machine;   // on a render node
  std::string mentions;  // the line of "Notify", ready made; empty for none
  std::string threadTs;  // the render's thread, with the thread switch on
};

class PostedStallAlertCalls : public StallAlertCalls {
 public:
  explicit PostedStallAlertCalls(const StallAlertContext& context) : context_(context) {}

  // The alert's text: see stallAlertText, with the mentions' line.
  std::string alertText(const StallAlertPlan& plan) const;

  std::optional<ScheduledAlert> schedule(const StallAlertPlan& plan) override;
  AlertDeleteAnswer remove(const ScheduledAlert& alert) override;
  void goingAgain(int32_t frame, int64_t silentMinutes) override;
  bool goingAgainAt(int32_t frame, int64_t silentMinutes, int64_t postAt) override;
  bool falseAlarmAt(const RenderEnd& end, int64_t postAt) override;
  void tellUnmovedDeleted() override;

 private:
  PostSettings settings() const {
    return {context_.token, context_.userName, context_.channel};
  }
  const char* sceneFile() const {
    return context_.sceneFile.empty() ? nullptr : context_.sceneFile.c_str();
  }
  // chat.scheduleMessage of `text` at `postAt`, in the render's thread when
  // there is one (shown in the channel too with `broadcast`).
  std::optional<ScheduledAlert> scheduleText(const std::string& text, int64_t postAt,
                                             bool broadcast);

  const StallAlertContext& context_;
};

}  // namespace pingwell
