#include "slack/reply_check.h"

#include <curl/curl.h>

#include <memory>

#include "slack/json_text.h"

namespace pingwell {

namespace {

constexpr std::string_view kGetUploadUrl = "files.getUploadURLExternal";
constexpr size_t kLongestId = 32;

// The string member `key` of `reply`, or null.
const std::string* stringMember(const nlohmann::json& reply, const char* key) {
  const auto it = reply.find(key);
  return it != reply.end() && it->is_string() ? it->get_ptr<const std::string*>() : nullptr;
}

// IDs and time stamps go back into later requests as they are: only 1 to 32
// bytes that all pass `allowed` are taken into `out`, which stays empty else.
template <typename Allowed>
void takeShaped(const nlohmann::json& reply, const char* key, std::string& out, Allowed allowed) {
  const std::string* value = stringMember(reply, key);
  if (value == nullptr || value->size() > kLongestId) return;
  for (char c : *value) {
    if (!allowed(c)) return;
  }
  out.assign(*value);
}

bool timeStampByte(char c) { return (c >= '0' && c <= '9') || c == '.'; }
bool channelIdByte(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'); }

bool asciiEqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// What a reply that said ok hands back. files.getUploadURLExternal's is of
// use only with a file ID and an address the upload may go to.
void takeHandedBack(const nlohmann::json& reply, PostOutcome& outcome) {
  outcome.kind = PostOutcome::Kind::Sent;
  takeShaped(reply, "channel", outcome.channelId, channelIdByte);
  takeShaped(reply, "ts", outcome.ts, timeStampByte);
  takeShaped(reply, "scheduled_message_id", outcome.scheduledMessageId, channelIdByte);
  if (const auto user = reply.find("user"); user != reply.end() && user->is_object())
    takeShaped(*user, "id", outcome.userId, channelIdByte);
  const std::string* fileId = stringMember(reply, "file_id");
  if (fileId) outcome.fileId.assign(*fileId);
  const std::string* uploadUrl = stringMember(reply, "upload_url");
  if (outcome.method != kGetUploadUrl) {
    if (uploadUrl) outcome.uploadUrl.assign(*uploadUrl);
    return;
  }
  if (uploadUrl == nullptr || uploadUrl->empty() || outcome.fileId.empty()) {
    outcome.kind = PostOutcome::Kind::UnusableReply;
    outcome.failure = "the service gave no upload address";
  } else if (!isSlackUploadAddress(*uploadUrl)) {
    outcome.kind = PostOutcome::Kind::UnusableReply;
    outcome.failure = "the upload address is not an https address on slack.com";
  } else {
    outcome.uploadUrl.assign(*uploadUrl);
  }
}

void judgeUpload(const HttpResult& result, PostOutcome& outcome) {
  // The upload address answers in plain text; its status says it all.
  if (result.status >= 200 && result.status < 300) {
    outcome.kind = PostOutcome::Kind::Sent;
  } else {
    outcome.kind = PostOutcome::Kind::UnconfirmedReply;
    outcome.failure = "the upload was refused with HTTP status " + std::to_string(result.status);
  }
}

}  // namespace

PostOutcome::Kind transferFailureKind(int curlCode) noexcept {
  using Kind = PostOutcome::Kind;
  switch (curlCode) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return Kind::NameNotFound;
    case CURLE_COULDNT_CONNECT:
      return Kind::Unreachable;
    case CURLE_OPERATION_TIMEDOUT:
      return Kind::TimedOut;
    case CURLE_SSL_CONNECT_ERROR:
      return Kind::TlsFailure;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
      return Kind::CertificateFailure;
    // A reset or closed connection, a cut-off reply: a server was reached,
    // and the next post opens a new connection.
    default:
      return Kind::TransferFailure;
  }
}

namespace {

// `outcome` made empty for a judgement of `method`; its strings keep their
// memory.
void startOutcome(PostOutcome& outcome, const std::string& method) {
  outcome.kind = PostOutcome::Kind::NotSent;
  outcome.method.assign(method);
  outcome.errorName.clear();
  outcome.errorJson.clear();
  outcome.hint.clear();
  outcome.failure.clear();
  outcome.transferText.clear();
  outcome.retryAfterSeconds.reset();
  outcome.httpStatus = 0;
  outcome.channelId.clear();
  outcome.ts.clear();
  outcome.uploadUrl.clear();
  outcome.fileId.clear();
  outcome.scheduledMessageId.clear();
  outcome.userId.clear();
  outcome.grantedScopes.reset();
}

void judgeParsed(PostOutcome& outcome, const nlohmann::json& reply) {
  using Kind = PostOutcome::Kind;
  outcome.kind = Kind::UnconfirmedReply;  // not an object, or no "ok": nothing to test
  if (!reply.is_object()) return;
  const auto ok = reply.find("ok");
  if (ok == reply.end()) return;
  // Only the JSON value true passes: not "true", not 1.
  if (ok->is_boolean() && ok->get<bool>()) {
    takeHandedBack(reply, outcome);
    return;
  }
  const auto error = reply.find("error");
  if (error == reply.end()) {
    outcome.failure = "checkResponse() unknown error.";
    return;
  }
  outcome.kind = Kind::ServiceError;
  outcome.errorJson = compactJson(*error);
  outcome.errorName = error->is_string() ? error->get<std::string>() : outcome.errorJson;
  // The one refusal the artist can mend in the app's settings.
  if (outcome.errorName == "missing_scope" && outcome.method.rfind("files.", 0) == 0) {
    outcome.hint = "the token lacks files:write";
  } else if (outcome.errorName == "missing_scope" && outcome.method == "users.lookupByEmail") {
    outcome.hint = "the token lacks users:read.email";
  }
}

void judgeText(PostOutcome& outcome, std::string_view text, ReplyDocument* document) {
  nlohmann::json parsed;
  nlohmann::json& reply = document ? document->json : parsed;
  try {
    reply = nlohmann::json::parse(text);
  } catch (const nlohmann::json::exception& error) {
    // parse_error, and out_of_range for a number past double's range: both
    // say the reply cannot be read.
    if (document) document->parseFailure = std::current_exception();
    outcome.kind = PostOutcome::Kind::UnreadableReply;
    outcome.failure = error.what();
    return;
  }
  judgeParsed(outcome, reply);
}

}  // namespace

PostOutcome judgeReply(const std::string& method, const nlohmann::json& reply) {
  PostOutcome outcome;
  outcome.method = method;
  judgeParsed(outcome, reply);
  return outcome;
}

void judgeReplyText(PostOutcome& outcome, const std::string& method, std::string_view text,
                    ReplyDocument* document) {
  startOutcome(outcome, method);
  judgeText(outcome, text, document);
}

void judgeTransfer(PostOutcome& outcome, const std::string& method, const HttpResult& result,
                   ReplyDocument* document) {
  startOutcome(outcome, method);
  if (result.failed || result.code != CURLE_OK) {
    const int code = result.code != CURLE_OK ? result.code : CURLE_FAILED_INIT;
    outcome.kind = transferFailureKind(code);
    outcome.transferText = curl_easy_strerror(static_cast<CURLcode>(code));
    outcome.failure = "curl_easy_perform() failed " + outcome.transferText;
    return;
  }
  outcome.grantedScopes = result.grantedScopes;
  outcome.httpStatus = result.status;
  if (method.empty()) {
    judgeUpload(result, outcome);
  } else {
    judgeText(outcome, result.body, document);
  }
  // A service that limits the rate says so by name and with 429; either way
  // it is asked to wait at least a second.
  if (outcome.errorName == "ratelimited" || result.status == 429) {
    outcome.retryAfterSeconds = result.retryAfterSeconds.value_or(1);
  }
}

PostOutcome judgeTransfer(const std::string& method, const HttpResult& result,
                          ReplyDocument* document) {
  PostOutcome outcome;
  judgeTransfer(outcome, method, result, document);
  return outcome;
}

bool isSlackUploadAddress(std::string_view url) {
  struct UrlFree {
    void operator()(CURLU* u) const noexcept { curl_url_cleanup(u); }
  };
  struct TextFree {
    void operator()(char* p) const noexcept { curl_free(p); }
  };
  const std::unique_ptr<CURLU, UrlFree> parsed(curl_url());
  if (!parsed) return false;
  const std::string text(url);  // the parser reads a C string
  if (text.size() != std::char_traits<char>::length(text.c_str())) return false;
  if (curl_url_set(parsed.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) return false;
  const auto part = [&](CURLUPart which) {
    char* value = nullptr;
    const CURLUcode code = curl_url_get(parsed.get(), which, &value, 0);
    return std::make_pair(code, std::unique_ptr<char, TextFree>(value));
  };
  // A user name or a password makes a reader take the wrong part for the host.
  if (part(CURLUPART_USER).first != CURLUE_NO_USER) return false;
  if (part(CURLUPART_PASSWORD).first != CURLUE_NO_PASSWORD) return false;
  const auto scheme = part(CURLUPART_SCHEME);
  if (scheme.first != CURLUE_OK || !asciiEqualNoCase(scheme.second.get(), "https")) return false;
  const auto host = part(CURLUPART_HOST);
  if (host.first != CURLUE_OK) return false;
  const std::string_view name = host.second.get();
  constexpr std::string_view kDomain = "slack.com";
  if (name.size() < kDomain.size()) return false;
  if (!asciiEqualNoCase(name.substr(name.size() - kDomain.size()), kDomain)) return false;
  return name.size() == kDomain.size() || name[name.size() - kDomain.size() - 1] == '.';
}

}  // namespace pingwell
