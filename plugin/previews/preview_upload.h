#pragma once
// A frame's preview posted to the channel: encoded as a JPEG, then uploaded
// in the service's three steps (an upload address, the bytes, the upload
// completed into the channel), each a call through posting.
#include <string>
#include <string_view>

#include "plugin/previews/frame_previews.h"
#include "plugin/posting/posting.h"

namespace pingwell {

// The upload's file name: the scene file's name without its folder and
// extension, "_" and the frame in four digits, ".jpg": "shot_0001.jpg".
std::string previewFileName(const char* sceneFileName, int frame);

// Posts `preview` of the scene `sceneFileName` into the channel whose ID is
// `channelId`, in the thread of `threadTs` when that is not empty. Its
// title is "<scene> frame N". Each step is a call of kind `kind` (paused,
// waited for and reported as posting does); a failed step ends the upload
// with its line on the error stream. Returns whether the preview was
// posted. Throws only std::bad_alloc.
bool postPreview(const PostSettings& settings, PostKind kind, const FramePreview& preview,
                 const char* sceneFileName, const std::string& channelId,
                 std::string_view threadTs);

// What Send Test Message adds while a preview filter is applied: whether an
// upload address can be had with `settings`' token (step 1 alone, for a
// 1-byte file that is never sent), in the artist's words: "Previews: can be
// posted", "Previews: the token lacks files:write", or why not. Throws only
// std::bad_alloc.
std::string previewCheckText(const PostSettings& settings);

}  // namespace pingwell
