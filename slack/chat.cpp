#include "slack/chat.h"

#include <stdexcept>

#include "slack/client.h"
#include "slack/json_text.h"

namespace pingwell {

ChatApi::ChatApi(SlackClient& client) noexcept : client_(client) {}

void ChatApi::makeParams() {
  slots_ = Slots{};
  params_ = WebApiParams(nlohmann::json::value_t::object);
  const auto stringMember = [this](const char* key) {
    nlohmann::json& value = params_[key];
    value = std::string();
    return &value.get_ref<std::string&>();
  };
  Slots slots;
  slots.text = stringMember("text");
  slots.channel = stringMember("channel");
  slots.username = stringMember("username");
  slots.iconEmoji = stringMember("icon_emoji");
  slots.parse = stringMember("parse");
  slots.asUser = stringMember("as_user");
  slots.attachments = &params_["attachments"];
  slots_ = slots;
}

nlohmann::json ChatApi::postMessage(const std::string& text, const std::string& channel) {
  const std::string& target = channel.empty() ? this->channel : channel;
  if (target.empty()) throw std::runtime_error("channel is not set");

  // Every string value is percent-encoded: the client copies values into the
  // form body as they are, so an unencoded "&" or "=" in a user name would
  // add a parameter of its own and a "+" would arrive as a blank.
  // The seven members are written in place into the object of the previous
  // message, so that its nodes and strings are used again.
  if (slots_.text == nullptr) makeParams();
  const auto setEncoded = [this](std::string& slot, const std::string& value) {
    slot.clear();
    client_.escapeInto(slot, value);
  };
  setEncoded(*slots_.text, text);
  setEncoded(*slots_.channel, target);
  setEncoded(*slots_.username, username);
  setEncoded(*slots_.iconEmoji, iconEmoji);
  setEncoded(*slots_.parse, parse);
  if (attachments.is_null()) {
    *slots_.attachments = nullptr;
  } else {
    *slots_.attachments = client_.escape(compactJson(attachments));
  }
  slots_.asUser->assign(asUser ? "true" : "false");

  static const std::string kMethod = "chat.postMessage";
  nlohmann::json reply = client_.post(kMethod, params_);
  attachments = nullptr;
  return reply;
}

}  // namespace pingwell
