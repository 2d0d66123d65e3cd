#pragma once
// The scene as every posted text names it.

namespace pingwell {

// Shown in place of the scene file name for a scene that was never saved.
inline constexpr const char* kUnsavedSceneName = "(unsaved scene)";

// The scene file name as messages show it: kUnsavedSceneName for a null or
// empty name.
inline const char* shownSceneName(const char* sceneFileName) noexcept {
  return (sceneFileName != nullptr && *sceneFileName != '\0') ? sceneFileName : kUnsavedSceneName;
}

}  // namespace pingwell
