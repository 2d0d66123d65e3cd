#pragma once
// What came of one chat message, told in the client's own terms: callers
// learn whether it was sent, why not, and how long the service asks them to
// wait, without knowing libcurl's result codes.
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace pingwell {

struct PostOutcome {
  enum class Kind {
    NotSent,             // failed before any transfer (no channel, encoding)
    Sent,                // the service answered "ok": true
    ServiceError,        // the service said no and named why (errorName)
    UnconfirmedReply,    // a JSON reply that neither says ok nor names an error
    UnreadableReply,     // a reply that is not JSON (an HTML error page, cut off)
    NameNotFound,        // the service's or the proxy's name did not resolve
    Unreachable,         // no connection could be made
    TimedOut,            // no connection, or no complete answer, in time
    TlsFailure,          // the TLS handshake failed
    CertificateFailure,  // the server's certificate could not be trusted
    TransferFailure,     // any other failed transfer (reset, closed, ...)
  };

  Kind kind = Kind::NotSent;
  // ServiceError: the reply's "error" text, such as "invalid_auth".
  std::string errorName;
  // The failure as the client reports it ("curl_easy_perform() failed ...",
  // "checkResponse() unknown error.", the parser's text); empty when sent and
  // for ServiceError, whose warning line the client has written already.
  std::string failure;
  // Failed transfers: libcurl's own words for the result.
  std::string transferText;
  // Set when the service limits the rate: the seconds it asks callers to
  // wait (its Retry-After header; 1 when the header is missing).
  std::optional<long> retryAfterSeconds;
  // The parsed reply, when one was read.
  nlohmann::json reply;

  bool sent() const noexcept { return kind == Kind::Sent; }
  // No name, no connection or no answer in time: the service was not reached
  // and the next try is likely to cost the same time-out.
  bool networkFailure() const noexcept {
    return kind == Kind::NameNotFound || kind == Kind::Unreachable || kind == Kind::TimedOut;
  }
  // A transfer was made and a server answered it in some way.
  bool reachedService() const noexcept { return kind != Kind::NotSent && !networkFailure(); }
};

// The kind of a failed transfer, from libcurl's result code (not 0).
PostOutcome::Kind transferFailureKind(int curlCode) noexcept;

}  // namespace pingwell
