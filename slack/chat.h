#pragma once
// The chat sub-object of the client: one Web API method, chat.postMessage.
#include <nlohmann/json.hpp>
#include <string>

#include "slack/form_body.h"
#include "slack/post_outcome.h"

namespace pingwell {

class SlackClient;

class ChatApi {
 public:
  explicit ChatApi(SlackClient& client) noexcept;
  ChatApi(const ChatApi&) = delete;  // it holds pointers into its own members
  ChatApi& operator=(const ChatApi&) = delete;

  // Sends `text` to `channel`, or to the member `channel` when the argument
  // is empty; throws std::runtime_error("channel is not set") when neither is
  // set, before anything is sent. Every string value is percent-encoded so
  // that no value can add or split a form parameter. `attachments` goes with
  // this call only and is null again once the call has returned.
  nlohmann::json postMessage(const std::string& text, const std::string& channel);

  // postMessage, telling what came of it instead of throwing: sent, the
  // service's error, the kind of failed transfer, an unreadable reply, and
  // the wait a rate limit asks for. The client's diagnostic lines are
  // written as postMessage writes them. Only std::bad_alloc leaves it.
  PostOutcome sendMessage(const std::string& text, const std::string& channel);

  std::string channel;
  std::string username;
  std::string iconEmoji;
  std::string parse;
  bool asUser = false;
  nlohmann::json attachments;  // null unless a caller sets it
  // A reply in the thread of the message whose "ts" this is; "thread_ts" is
  // sent only while it is not empty, and "reply_broadcast" = true only with
  // it and replyBroadcast, so that with both unset the body is the one of
  // the seven members alone.
  std::string threadTs;
  bool replyBroadcast = false;

 private:
  SlackClient& client_;
  // The parameters of the latest message, rewritten in place by the next,
  // and where each member's value lives (std::map nodes stay in place).
  // Made by the first message.
  struct Slots {
    std::string* text = nullptr;
    std::string* channel = nullptr;
    std::string* username = nullptr;
    std::string* iconEmoji = nullptr;
    std::string* parse = nullptr;
    std::string* asUser = nullptr;
    nlohmann::json* attachments = nullptr;
    std::string* threadTs = nullptr;        // null while the key is absent
    std::string* replyBroadcast = nullptr;  // likewise
  };
  void makeParams();
  // The member `key` of the parameters, a string; made when it is missing.
  std::string& stringMember(const std::string& key);
  // The optional member `key`, kept in `slot`: made when `present` and
  // missing, taken out of the parameters when not `present` (then null).
  std::string* optionalMember(const std::string& key, std::string*& slot, bool present);

  WebApiParams params_;
  Slots slots_;
};

}  // namespace pingwell
