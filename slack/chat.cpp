#include "slack/chat.h"

#include <curl/curl.h>

#include <new>
#include <stdexcept>

#include "slack/client.h"
#include "slack/json_text.h"
#include "slack/reply_check.h"

namespace pingwell {

ChatApi::ChatApi(SlackClient& client) noexcept : client_(client) {}

std::string& ChatApi::stringMember(const std::string& key) {
  nlohmann::json& value = params_[key];
  if (!value.is_string()) value = std::string();
  return value.get_ref<std::string&>();
}

void ChatApi::makeParams() {
  slots_ = Slots{};
  params_ = WebApiParams(nlohmann::json::value_t::object);
  Slots slots;
  slots.text = &stringMember("text");
  slots.channel = &stringMember("channel");
  slots.username = &stringMember("username");
  slots.iconEmoji = &stringMember("icon_emoji");
  slots.parse = &stringMember("parse");
  slots.asUser = &stringMember("as_user");
  slots.attachments = &params_["attachments"];
  slots_ = slots;
}

std::string* ChatApi::optionalMember(const std::string& key, std::string*& slot, bool present) {
  if (!present) {
    // The other members' nodes stay where they are (std::map), so their
    // slots hold.
    slot = nullptr;
    params_.erase(key);
    return nullptr;
  }
  if (slot == nullptr) slot = &stringMember(key);
  return slot;
}

nlohmann::json ChatApi::postMessage(const std::string& text, const std::string& channel) {
  const std::string& target = channel.empty() ? this->channel : channel;
  if (target.empty()) throw std::runtime_error("channel is not set");

  // Every string value is percent-encoded: the client copies values into the
  // form body as they are, so an unencoded "&" or "=" in a user name would
  // add a parameter of its own and a "+" would arrive as a blank.
  // The seven members are written in place into the object of the previous
  // message, so that its nodes and strings are used again; the two of a
  // thread are there only while a thread is set.
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
  static const std::string kThreadTs = "thread_ts";
  static const std::string kReplyBroadcast = "reply_broadcast";
  const bool threaded = !threadTs.empty();
  if (std::string* slot = optionalMember(kThreadTs, slots_.threadTs, threaded))
    setEncoded(*slot, threadTs);
  if (std::string* slot =
          optionalMember(kReplyBroadcast, slots_.replyBroadcast, threaded && replyBroadcast))
    slot->assign("true");

  static const std::string kMethod = "chat.postMessage";
  nlohmann::json reply = client_.post(kMethod, params_);
  attachments = nullptr;
  return reply;
}

PostOutcome ChatApi::sendMessage(const std::string& text, const std::string& channel) {
  using Kind = PostOutcome::Kind;
  HttpSession& session = client_.session;
  const unsigned long transfersBefore = session.transferCount;
  PostOutcome outcome;
  const auto transferFailed = [&] {
    return session.transferCount != transfersBefore && session.lastResult != CURLE_OK;
  };
  const auto noteTransferFailure = [&] {
    outcome.kind = transferFailureKind(session.lastResult);
    outcome.transferText = curl_easy_strerror(static_cast<CURLcode>(session.lastResult));
  };
  try {
    outcome.reply = postMessage(text, channel);
    const ReplyVerdict verdict = judgeReply(outcome.reply);
    if (verdict.kind == ReplyVerdict::Kind::Passed) {
      outcome.kind = outcome.reply.is_object() && outcome.reply.contains("ok")
                         ? Kind::Sent
                         : Kind::UnconfirmedReply;
    } else if (verdict.kind == ReplyVerdict::Kind::NamedError) {
      outcome.kind = Kind::ServiceError;
      const nlohmann::json& error = outcome.reply["error"];
      outcome.errorName = error.is_string() ? error.get<std::string>() : verdict.errorJson;
    } else {
      outcome.kind = Kind::UnconfirmedReply;  // reported already by the non-throwing client
    }
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const nlohmann::json::exception& failure) {
    outcome.failure = failure.what();
    if (transferFailed()) {
      noteTransferFailure();  // the non-throwing client went on to parse what arrived
    } else {
      outcome.kind =
          session.transferCount != transfersBefore ? Kind::UnreadableReply : Kind::NotSent;
    }
  } catch (const std::exception& failure) {
    outcome.failure = failure.what();
    if (transferFailed()) {
      noteTransferFailure();
    } else {
      outcome.kind =
          session.transferCount != transfersBefore ? Kind::UnconfirmedReply : Kind::NotSent;
    }
  }
  // A service that limits the rate says so by name and with 429; either way
  // it is asked to wait at least a second.
  if (session.transferCount != transfersBefore &&
      (outcome.errorName == "ratelimited" || session.lastStatus == 429)) {
    outcome.retryAfterSeconds = session.lastRetryAfterSeconds.value_or(1);
  }
  return outcome;
}

}  // namespace pingwell
