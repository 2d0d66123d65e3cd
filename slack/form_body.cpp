#include "slack/form_body.h"

#include "slack/json_text.h"

namespace pingwell {

void writeFormBody(std::string& body, const WebApiParams& params, const std::string& token) {
  body.clear();
  // An object's members come in ascending byte order of their keys (std::map
  // with std::less<std::string>). For a value that is not an object, key()
  // throws invalid_iterator, unless there is nothing to visit (null, []).
  for (auto it = params.cbegin(); it != params.cend(); ++it) {
    if (!body.empty()) body.push_back('&');
    body.append(it.key()).push_back('=');
    // A string's text goes without its enclosing quotes, escapes kept; no
    // other kind of value has quotes around its text.
    const nlohmann::json& value = it.value();
    if (value.is_string()) {
      appendJsonStringContent(body, value.get_ref<const std::string&>());
    } else {
      appendCompactJson(body, value);
    }
  }
  if (!body.empty()) body.push_back('&');
  body.append("token=").append(token);
}

std::string formBody(const WebApiParams& params, const std::string& token) {
  std::string body;
  body.reserve(256);  // a chat message's body, without reallocations
  writeFormBody(body, params, token);
  return body;
}

}  // namespace pingwell
