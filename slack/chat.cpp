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
  // Built member by member: an initializer list would copy every value twice.
  WebApiParams params(nlohmann::json::value_t::object);
  params.emplace("text", client_.escape(text));
  params.emplace("channel", client_.escape(target));
  params.emplace("username", client_.escape(username));
  params.emplace("icon_emoji", client_.escape(iconEmoji));
  params.emplace("parse", client_.escape(parse));
  params.emplace("attachments", attachments.is_null()
                                    ? nlohmann::json()
                                    : nlohmann::json(client_.escape(compactJson(attachments))));
  params.emplace("as_user", asUser ? "true" : "false");
  nlohmann::json reply = client_.post("chat.postMessage", params);
  attachments = nullptr;
  return reply;
}

}  // namespace pingwell
