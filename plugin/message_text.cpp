#include "plugin/message_text.h"

#include "plugin/host_interface.h"

namespace pingwell {

std::string composeMessage(int32_t eventCode, const char* sceneFileName, int32_t frame) {
  const char* tail = nullptr;
  bool withFrame = true;
  switch (eventCode) {
    case HOST_EVENT_FRAME_STARTED:
      tail = "\nFrame Started: ";
      break;
    case HOST_EVENT_FRAME_DONE:
      tail = "\nFrame Rendered: ";
      break;
    case HOST_EVENT_RENDER_DONE:
      tail = "\nRENDER COMPLETED";
      withFrame = false;
      break;
    default:
      return {};
  }
  std::string text = shownSceneName(sceneFileName);
  text += tail;
  if (withFrame) text += std::to_string(frame);
  return text;
}

std::string composeAbortedMessage(const char* sceneFileName, int32_t frame) {
  std::string text = shownSceneName(sceneFileName);
  text += "\nRENDER ABORTED at frame ";
  text += std::to_string(frame);
  return text;
}

}  // namespace pingwell
