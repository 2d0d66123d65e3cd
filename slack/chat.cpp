#include "slack/chat.h"

#include <new>
#include <stdexcept>

#include "slack/client.h"
#include "slack/json_text.h"

namespace pingwell {

namespace {

constexpr const char* kNoChannel = "channel is not set";

}  // namespace

ChatApi::ChatApi(SlackClient& client) noexcept : client_(client) {}

void ChatApi::buildPostMessage(const std::string& text, const std::string& target,
                               std::string_view blocks) {
  // The seven members always, "attachments" as its JSON text ("null" when
  // unset); the two of a thread only while a thread is set.
  request_.webApi("chat.postMessage");
  request_.timeouts = timeouts;
  request_.add("text", text);
  request_.add("channel", target);
  request_.add("username", username);
  request_.add("icon_emoji", iconEmoji);
  request_.add("parse", parse);
  request_.add("attachments", attachments.is_null() ? std::string("null") : compactJson(attachments));
  request_.add("as_user", asUser ? "true" : "false");
  if (!blocks.empty()) request_.add("blocks", blocks);
  if (!threadTs.empty()) {
    request_.add("thread_ts", threadTs);
    if (replyBroadcast) request_.add("reply_broadcast", "true");
  }
}

nlohmann::json ChatApi::postMessage(const std::string& text, const std::string& channel) {
  const std::string& target = channel.empty() ? this->channel : channel;
  if (target.empty()) throw std::runtime_error(kNoChannel);
  buildPostMessage(text, target);
  nlohmann::json reply = client_.postRequest(request_);
  attachments = nullptr;
  return reply;
}

PostOutcome ChatApi::sendMessage(const std::string& text, const std::string& channel,
                                 std::string_view blocks) {
  const std::string& target = channel.empty() ? this->channel : channel;
  PostOutcome outcome;
  outcome.method = "chat.postMessage";
  if (target.empty()) {
    outcome.failure = kNoChannel;
    return outcome;
  }
  try {
    buildPostMessage(text, target, blocks);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& failure) {  // attachments that are no JSON text
    outcome.failure = failure.what();
    return outcome;
  }
  outcome = client_.call(request_);
  attachments = nullptr;
  return outcome;
}

PostOutcome ChatApi::updateMessage(const std::string& channelId, const std::string& ts,
                                   const std::string& text, std::string_view blocks) {
  request_.webApi("chat.update");
  request_.timeouts = timeouts;
  if (!blocks.empty()) request_.add("blocks", blocks);
  request_.add("channel", channelId);
  request_.add("text", text);
  request_.add("ts", ts);
  return client_.call(request_);
}

}  // namespace pingwell
