#pragma once
// The instance and handler callbacks of the master plug-in. The handler
// activation enters their addresses into the host's records; the host calls
// them with the opaque instance handle that notifierCreate returned. None of
// them lets an exception out.
#include "plugin/host_api/host_interface.h"
#include "plugin/notifier/notifier_instance.h"

namespace pingwell {

// A new instance: token, user name and channel from the settings file in
// the host's "Settings" folder (empty when there is none), only the
// render-completed switch on. `priv` (the host's global lookup) is kept as
// hostGlobal. Null when the instance cannot be made; *error is not set.
void* notifierCreate(void* priv, void* context, const char** error) noexcept;

// Releases the instance and all it owns. Null is ignored.
void notifierDestroy(void* instance) noexcept;

// Copies every field of `from` over `to`, except the render record: `to`
// keeps its own. Always succeeds (null).
const char* notifierCopy(void* to, void* from) noexcept;

// The scene block: the float 0.01 (ignored on load), then render-done,
// frame-start, frame-done, render times, frame messages in a thread and
// progress in one message as 32-bit integers. A value of the first three
// that the host cannot read leaves its switch as it was; one of the last
// three turns its switch off, so a scene saved before they existed loads
// with them off. Both always succeed (null).
const char* notifierLoad(void* instance, const HostLoadState* state) noexcept;
const char* notifierSave(void* instance, const HostSaveState* state) noexcept;

// "voro2 pingwell" for every instance.
const char* notifierDescribe(void* instance) noexcept;

// 2: the host is to deliver the render events.
unsigned int notifierFlags(void* instance) noexcept;

// Posts the message of a render event whose switch is on (exactly 1) when the
// instance has a token, a user name and a channel, with those three. Every
// render event is noted in the instance's render record first; a render
// completed after the user aborted it posts "RENDER ABORTED at frame N" in
// place of "RENDER COMPLETED". With "Add render times" on the text gets the
// frame's or the render's time (see renderTimesText): a frame rendered also
// its place in the scene's render range and the time left, except on a
// render node, whose part of the range is not known; on a render node the
// render-completed message gets the machine's name. With "Frame messages in
// a thread" on the render's messages after its first accepted one are
// replies in that one's thread. With "Progress in one message" on, the
// render's first frame start posts the progress message, frames rendered
// edit it (at most every 10 s) and the completion edits it a last time.
// While a preview filter is applied, the render's first frame and its last
// rendered are uploaded after their events' messages. Any other event does
// nothing more. Each request is composed here and handed to the module's
// posting thread (see posting_queue.h), which sends them in order; only the
// render-completed event waits, at most 15 s, until the requests queued so
// far have been sent or have failed. Failures are written to the standard
// error stream. Always 0.0.
double notifierEvent(void* instance, const HostMasterAccess* access) noexcept;

}  // namespace pingwell
