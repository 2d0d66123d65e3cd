#include "slack/chat.h"

#include <stdexcept>

#include "slack/client.h"
#include "slack/json_text.h"
#include "slack/percent_encoding.h"

namespace pingwell {
namespace {

// The member `key` of `params` as a string, made empty; created the first
// time. A string kept from the previous message keeps its memory.
std::string& emptyString(WebApiParams& params, const char* key) {
  nlohmann::json& value = params[key];
  if (!value.is_string()) value = std::string();
  std::string& text = value.get_ref<std::string&>();
  text.clear();
  return text;
}

void setEncoded(WebApiParams& params, const char* key, const std::string& text) {
  appendPercentEncoded(emptyString(params, key), text);
}

}  // namespace

ChatApi::ChatApi(SlackClient& client) noexcept : client_(client) {}

nlohmann::json ChatApi::postMessage(const std::string& text, const std::string& channel) {
  const std::string& target = channel.empty() ? this->channel : channel;
  if (target.empty()) throw std::runtime_error("channel is not set");

  // Every string value is percent-encoded: the client copies values into the
  // form body as they are, so an unencoded "&" or "=" in a user name would
  // add a parameter of its own and a "+" would arrive as a blank.
  // The seven members are written in place into the object of the previous
  // message, so that its nodes and strings are used again.
  setEncoded(params_, "text", text);
  setEncoded(params_, "channel", target);
  setEncoded(params_, "username", username);
  setEncoded(params_, "icon_emoji", iconEmoji);
  setEncoded(params_, "parse", parse);
  if (attachments.is_null()) {
    params_["attachments"] = nullptr;
  } else {
    setEncoded(params_, "attachments", compactJson(attachments));
  }
  emptyString(params_, "as_user").append(asUser ? "true" : "false");

  static const std::string kMethod = "chat.postMessage";
  nlohmann::json reply = client_.post(kMethod, params_);
  attachments = nullptr;
  return reply;
}

}  // namespace pingwell
