#pragma once
// The chat methods of the client: chat.postMessage and chat.update.
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "slack/api_request.h"
#include "slack/post_outcome.h"

namespace pingwell {

class SlackClient;

class ChatApi {
 public:
  explicit ChatApi(SlackClient& client) noexcept;
  ChatApi(const ChatApi&) = delete;
  ChatApi& operator=(const ChatApi&) = delete;

  // Sends `text` to `channel`, or to the member `channel` when the argument
  // is empty; throws std::runtime_error("channel is not set") when neither is
  // set, before anything is sent. Every value is percent-encoded so that no
  // value can add or split a form parameter. `attachments` goes with this
  // call only and is null again once the call has returned. Throws what
  // SlackClient::postBody throws.
  nlohmann::json postMessage(const std::string& text, const std::string& channel);

  // postMessage on the client's call path, telling what came of it instead
  // of throwing: sent (with the channel's ID and the message's "ts"), the
  // service's error, the kind of failed transfer, an unreadable reply, and
  // the wait a rate limit asks for. `blocks`, a JSON array's text, goes as
  // the "blocks" parameter; empty, the body has no such parameter. Writes
  // nothing; throws only std::bad_alloc.
  PostOutcome sendMessage(const std::string& text, const std::string& channel,
                          std::string_view blocks = {});

  // chat.update: the message `ts` in the channel whose ID is `channelId`
  // reads `text` from now on. Parameters channel, text and ts, then the
  // token; "blocks" first when `blocks` is not empty, as sendMessage sends
  // them. As sendMessage, it writes nothing and throws only std::bad_alloc.
  PostOutcome updateMessage(const std::string& channelId, const std::string& ts,
                            const std::string& text, std::string_view blocks = {});

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
  // How long each chat call may take: the connection, and the whole call.
  Timeouts timeouts;

 private:
  // request_ made chat.postMessage of `text` to `target`.
  void buildPostMessage(const std::string& text, const std::string& target,
                        std::string_view blocks = {});

  SlackClient& client_;
  // The latest request: the next one writes over its fields and keeps their
  // memory.
  ApiRequest request_;
};

}  // namespace pingwell
