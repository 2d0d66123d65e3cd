#pragma once
// The record behind one applied instance of the plug-in. The host holds it as
// an opaque handle from notifierCreate to notifierDestroy.
#include <cstdint>
#include <memory>
#include <string>

#include "plugin/host_api/host_interface.h"
#include "plugin/notifier/render_features.h"
#include "plugin/notifier/render_record.h"

namespace pingwell {

// Sizes of the options panel's landing buffers, terminator included.
inline constexpr int kTokenTextSize = 1024;
inline constexpr int kNameTextSize = 100;
inline constexpr int kChannelTextSize = 100;
inline constexpr int kNotifyTextSize = 1024;

// A switch counts as on only when it holds exactly 1; a scene may carry any
// other value and every one of them means off.
inline bool switchIsOn(int32_t value) noexcept { return value == 1; }

struct NotifierInstance {
  // The private datum the host handed to notifierCreate (the global lookup);
  // kept and copied, used for nothing else.
  HostGlobalFunc hostGlobal = nullptr;

  // Landing buffers of the options panel's four text fields. Only the panel
  // writes and reads them; they always hold a terminating zero.
  char tokenText[kTokenTextSize] = {};
  char nameText[kNameTextSize] = {};
  char channelText[kChannelTextSize] = {};
  char notifyText[kNotifyTextSize] = {};

  // Message switches, saved with the scene (see switchIsOn).
  int32_t notifyFrameStart = 0;
  int32_t notifyFrameDone = 0;
  int32_t notifyRenderDone = 1;
  // Additions the artist turns on, saved after the three above: render
  // times in the messages, a render's messages in one thread, and its
  // progress in one message edited as it goes.
  int32_t addRenderTimes = 0;
  int32_t frameMessagesInThread = 0;
  int32_t progressInOneMessage = 0;
  // Minutes without a frame after which the service posts the stall alert;
  // 0 is off (see StallAlert::usedMinutes). Saved after the switches.
  int32_t alertMinutes = 0;

  // What a post needs; all three must be non-empty for anything to be sent.
  // They come from the settings file and the options panel, never the scene.
  std::string token;
  std::string userName;
  std::string channel;
  // Who the render's last messages mention, as typed ("Notify"); from the
  // settings file and the panel as the three above. Empty: nobody.
  std::string notify;

  // The render in progress, noted at every render event, and the features
  // that post on it with their state. Neither saved nor copied: they belong
  // to the renders this instance has seen.
  RenderRecord render;
  RenderFeatures features;
};

}  // namespace pingwell
