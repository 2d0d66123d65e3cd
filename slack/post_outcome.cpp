#include "slack/post_outcome.h"

#include <curl/curl.h>

namespace pingwell {

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

}  // namespace pingwell
