#include "plugin/posting/message_markup.h"

namespace pingwell {

void appendAsText(std::string& text, std::string_view part) {
  for (const char c : part) {
    switch (c) {
      case '&':
        text += "&amp;";
        break;
      case '<':
        text += "&lt;";
        break;
      case '>':
        text += "&gt;";
        break;
      default:
        text.push_back(c);
    }
  }
}

}  // namespace pingwell
