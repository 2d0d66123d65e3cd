#pragma once
// The plug-in's options panel: token, user name, channel and the three
// message switches of one instance, in a modal panel of the host's.
#include "plugin/host_interface.h"
#include "plugin/notifier_instance.h"

namespace pingwell {

inline constexpr const char* kPanelTitle = "voro2 pingwell";
inline constexpr const char* kLegacyTokenPage =
    "https://api.slack.com/custom-integrations/legacy-tokens";

// Shows the panel for `instance` and blocks until the user closes it. On OK
// the switches take the panel's values at once; the settings file is
// rewritten with token, user name and channel, and when it could be opened
// the instance takes those three too (as read back from the file once it
// was written completely). Cancel, a host without panels and any failure
// leave the instance as it was. Returns the panel the host should show
// itself: always none, since this one has been shown already.
void* runOptionsPanel(NotifierInstance* instance) noexcept;

// Event function of the "Get Token" button: opens kLegacyTokenPage in the
// browser. Both arguments are ignored.
void onGetToken(HostControl* control, void* userData) noexcept;

}  // namespace pingwell
