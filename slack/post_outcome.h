#pragma once
// What came of one call, told in the client's own terms: callers learn
// whether it was sent, refused for good or worth trying later, how long the
// service asks them to wait, and what the reply handed back, without knowing
// libcurl or reading a reply. slack/reply_check.h makes it.
#include <optional>
#include <string>
#include <string_view>

namespace pingwell {

struct PostOutcome {
  enum class Kind {
    NotSent,             // failed before any transfer (no channel, encoding, no upload address)
    Sent,                // the service answered "ok": true (an upload: a 2xx status)
    ServiceError,        // the service said no and named why (errorName)
    UnconfirmedReply,    // a reply that neither says ok nor names an error
    UnusableReply,       // "ok", but what it handed back cannot be used (failure says why)
    UnreadableReply,     // a reply that is not JSON (an HTML error page, cut off)
    NameNotFound,        // the service's or the proxy's name did not resolve
    Unreachable,         // no connection could be made
    TimedOut,            // no connection, or no complete answer, in time
    TlsFailure,          // the TLS handshake failed
    CertificateFailure,  // the server's certificate could not be trusted
    TransferFailure,     // any other failed transfer (reset, closed, ...)
  };

  Kind kind = Kind::NotSent;
  // The Web API method called; empty for an upload.
  std::string method;
  // ServiceError: the reply's "error" text, such as "invalid_auth", and the
  // JSON text of its "error" member as the warning line quotes it.
  std::string errorName;
  std::string errorJson;
  // ServiceError: what the artist can mend, when the error says
  // ("the token lacks files:write"); empty otherwise.
  std::string hint;
  // The failure as the client reports it ("curl_easy_perform() failed ...",
  // "checkResponse() unknown error.", the parser's text); empty when sent and
  // for ServiceError, whose line is the warning.
  std::string failure;
  // Failed transfers: libcurl's own words for the result.
  std::string transferText;
  // Set when the service limits the rate: the seconds it asks callers to
  // wait (its Retry-After header; 1 when the header is missing).
  std::optional<long> retryAfterSeconds;
  // Of a transfer that completed: the HTTP status of the reply (0: none).
  long httpStatus = 0;
  // What a reply that said ok handed back, where it had it and it has the
  // shape the service gives it: the channel's ID (upper-case letters and
  // digits) and the message's "ts" (digits and dots), each at most 32 bytes
  // (chat.postMessage, chat.update); the upload address, https on slack.com,
  // and the file's ID (files.getUploadURLExternal, whose reply is Sent only
  // with both). Anything else is left empty.
  std::string channelId;
  std::string ts;
  std::string uploadUrl;
  std::string fileId;
  // The ID of a message the service holds to post later
  // (chat.scheduleMessage), and the member an address belongs to
  // (users.lookupByEmail: its "user"'s "id"), each as the channel's ID is taken.
  std::string scheduledMessageId;
  std::string userId;
  // Of a transfer that completed, whatever its reply said: the token's
  // scopes as the reply's x-oauth-scopes header told them ("chat:write,
  // files:write"); none when it had no such header (a proxy may drop it).
  std::optional<std::string> grantedScopes;

  bool sent() const noexcept { return kind == Kind::Sent; }
  // No name, no connection or no answer in time: the service was not reached
  // and the next try is likely to cost the same time-out.
  bool networkFailure() const noexcept {
    return kind == Kind::NameNotFound || kind == Kind::Unreachable || kind == Kind::TimedOut;
  }
  // Any failed transfer: no complete answer arrived.
  bool transferFailed() const noexcept {
    return networkFailure() || kind == Kind::TlsFailure || kind == Kind::CertificateFailure ||
           kind == Kind::TransferFailure;
  }
  // The server or a proxy on the way failed for now: an HTTP 5xx.
  bool serverFailed() const noexcept { return httpStatus >= 500 && httpStatus < 600; }
  // A transfer was made and a server answered it in some way.
  bool reachedService() const noexcept { return kind != Kind::NotSent && !networkFailure(); }
  // The service refused for good: the message or the channel the call names
  // is gone or can no longer be changed, so the same call never goes
  // through.
  bool refusedForGood() const noexcept;
};

// The diagnostic line (without its prefix) that tells of an outcome that
// was not sent, as the client words it: "warning! <method> checkResponse()
// failed <error>" for an error the service named (": <hint>" after it when
// there is one), "error <what>: <failure>" for a reply that handed back
// nothing usable, "error <failure>" for the rest; empty when there is
// nothing to tell.
std::string outcomeLine(const PostOutcome& outcome, std::string_view what = {});

}  // namespace pingwell
