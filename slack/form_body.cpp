#include "slack/form_body.h"

#include "slack/json_text.h"

namespace pingwell {

std::string formBody(const WebApiParams& params, const std::string& token) {
  std::string body;
  body.reserve(256);  // a chat message's body, without reallocations
  // An object's members come in ascending byte order of their keys (std::map
  // with std::less<std::string>). For a value that is not an object, key()
  // throws invalid_iterator, unless there is nothing to visit (null, []).
  for (auto it = params.cbegin(); it != params.cend(); ++it) {
    if (!body.empty()) body.push_back('&');
    body.append(it.key()).push_back('=');
    // A string's text goes without its enclosing quotes, escapes kept.
    const std::string text = compactJson(it.value());
    if (!text.empty() && text.front() == '"') {
      body.append(text, 1, text.size() - 2);
    } else {
      body.append(text);
    }
  }
  if (!body.empty()) body.push_back('&');
  body.append("token=").append(token);
  return body;
}

}  // namespace pingwell
