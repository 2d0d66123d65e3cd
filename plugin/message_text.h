#pragma once
// The texts of the three render messages.
#include <cstdint>
#include <string>

namespace pingwell {

// Shown in place of the scene file name for a scene that was never saved.
inline constexpr const char* kUnsavedSceneName = "(unsaved scene)";

// The scene file name as messages show it: kUnsavedSceneName for a null or
// empty name.
inline const char* shownSceneName(const char* sceneFileName) noexcept {
  return (sceneFileName != nullptr && *sceneFileName != '\0') ? sceneFileName : kUnsavedSceneName;
}

// The message for `eventCode` (one of HOST_EVENT_FRAME_STARTED,
// HOST_EVENT_FRAME_DONE, HOST_EVENT_RENDER_DONE):
//   "<scene>\nFrame Started: <frame>", "<scene>\nFrame Rendered: <frame>",
//   "<scene>\nRENDER COMPLETED".
// The scene file name is kept whole, whatever its length; a null or empty
// name gives kUnsavedSceneName. Empty for any other code. Throws only
// std::bad_alloc.
std::string composeMessage(int32_t eventCode, const char* sceneFileName, int32_t frame);

// The message that takes the render-completed message's place when the user
// aborted the render: "<scene>\nRENDER ABORTED at frame <frame>", `frame`
// being the frame the abort came at. Throws only std::bad_alloc.
std::string composeAbortedMessage(const char* sceneFileName, int32_t frame);

}  // namespace pingwell
