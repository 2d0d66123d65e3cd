#include "slack/chat.h"

#include <stdexcept>

#include "slack/client.h"
#include "slack/json_text.h"

namespace pingwell {

ChatApi::ChatApi(SlackClient& client) noexcept : client_(client) {}

nlohmann::json ChatApi::postMessage(const std::string& text, const std::string& channel) {
  const std::string target = channel.empty() ? this->channel : channel;
  if (target.empty()) throw std::runtime_error("channel is not set");

  // Every string value is percent-encoded: the client copies values into the
  // form body as they are, so an unencoded "&" or "=" in a user name would
  // add a parameter of its own and a "+" would arrive as a blank.
  const WebApiParams params = {
      {"text", client_.escape(text)},
      {"channel", client_.escape(target)},
      {"username", client_.escape(username)},
      {"icon_emoji", client_.escape(iconEmoji)},
      {"parse", client_.escape(parse)},
      {"attachments",
       attachments.is_null() ? nlohmann::json() : nlohmann::json(client_.escape(compactJson(attachments)))},
      {"as_user", asUser ? "true" : "false"},
  };
  nlohmann::json reply = client_.post("chat.postMessage", params);
  attachments = nullptr;
  return reply;
}

}  // namespace pingwell
