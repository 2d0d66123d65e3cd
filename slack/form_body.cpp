#include "slack/form_body.h"

#include <utility>
#include <vector>

#include "slack/json_text.h"

namespace pingwell {
namespace {

// A string's text without its enclosing quotes, escapes kept; anything else
// as its compact JSON text.
std::string parameterText(const nlohmann::json& value) {
  std::string text = compactJson(value);
  if (!text.empty() && text.front() == '"') text = text.substr(1, text.size() - 2);
  return text;
}

}  // namespace

std::string formBody(const WebApiParams& params, const std::string& token) {
  std::vector<std::pair<std::string, std::string>> pairs;
  pairs.reserve(params.size() + 1);
  // An object's members come in ascending byte order of their keys (std::map
  // with std::less<std::string>). For a value that is not an object, key()
  // throws invalid_iterator, unless there is nothing to visit (null, []).
  for (auto it = params.cbegin(); it != params.cend(); ++it) {
    pairs.emplace_back(it.key(), parameterText(it.value()));
  }
  pairs.emplace_back("token", token);

  std::string body;
  for (const auto& [name, text] : pairs) {
    if (!body.empty()) body.push_back('&');
    body.append(name).push_back('=');
    body.append(text);
  }
  return body;
}

}  // namespace pingwell
