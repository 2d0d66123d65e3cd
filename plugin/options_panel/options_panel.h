#pragma once
// The plug-in's options panel: token, user name, channel, the three
// message switches and the two additions of one instance, in a modal panel
// of the host's.
#include "plugin/host_api/host_interface.h"
#include "plugin/notifier/notifier_instance.h"

namespace pingwell {

inline constexpr const char* kPanelTitle = "voro2 pingwell";

// Shows the panel for `instance` and blocks until the user closes it. OK
// first takes the panel's three texts into the landing buffers and the
// switches into the instance, whatever happens next; then it rewrites the
// settings file with token, user name and channel, and only when the file
// could be opened does the instance take those three too (as read back from
// the file once it was written completely). So a settings folder that cannot
// be written changes the switches alone. Cancel and a host without panels
// leave the instance as it was. Returns the panel the host should show
// itself: always none, since this one has been shown already.
void* runOptionsPanel(NotifierInstance* instance) noexcept;

// Event function of the "Get Token" button: opens the service's form for a
// new app, filled in from the app manifest (tokenPageAddress), in the
// browser; the apps page (kAppsPage) when that address cannot be made. Both
// arguments are ignored.
void onGetToken(HostControl* control, void* userData) noexcept;

}  // namespace pingwell
