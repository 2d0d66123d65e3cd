#pragma once
// The image filter "voro2_slack_preview": the instance and handler callbacks
// that the image filter activation enters into the host's records. It passes
// every rendered frame through unchanged and hands a preview of it to
// FramePreviews, from which the master instances post it. None of the
// callbacks lets an exception out.
#include "plugin/host_api/host_interface.h"

namespace pingwell {

// The filter's description: its server tag and every instance's.
inline constexpr const char* kPreviewFilterDescription = "voro2 pingwell preview";

// An instance holds `priv`, the activation's global lookup (may be null);
// while one lives FramePreviews counts a filter applied. Null when it cannot
// be made; *error is not set.
void* previewFilterCreate(void* priv, void* context, const char** error) noexcept;
// Null is ignored.
void previewFilterDestroy(void* instance) noexcept;
// Nothing to copy, load or save: the scene block is empty. All succeed (null).
const char* previewFilterCopy(void* to, void* from) noexcept;
const char* previewFilterLoad(void* instance, const HostLoadState* state) noexcept;
const char* previewFilterSave(void* instance, const HostSaveState* state) noexcept;
// "voro2 pingwell preview" for every instance.
const char* previewFilterDescribe(void* instance) noexcept;

// Writes every pixel of the output as the input has it, bit for bit: red,
// green and blue with setRGB, alpha with setAlpha; a line that getLine does
// not give counts as 0 in its channel. Meanwhile it collects the preview of
// red, green and blue (PreviewCapture), converted to the host's output color
// space as the saved file is (outputColorConversion, asked through the
// instance's lookup at each frame; a null instance previews linear values
// as they are), and offers it for access->frame. A
// preview that cannot be made (out of memory) is reported on the standard
// error stream; the frame is passed through all the same. A null access,
// null host functions or a size of at most 0 do nothing that could fail.
void previewFilterProcess(void* instance, const HostFilterAccess* access) noexcept;

// 0: no buffers beyond red, green, blue and alpha.
unsigned int previewFilterFlags(void* instance) noexcept;

}  // namespace pingwell
