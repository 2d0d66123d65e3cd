#include "slack/session_platform.h"
#include "slack/system_proxy.h"

namespace pingwell {

void setPlatformOptions(CURL* handle) noexcept {
  // Schannel fails the handshake when it cannot reach the certificate's
  // revocation server (CRYPT_E_REVOCATION_OFFLINE, CRYPT_E_NO_REVOCATION_CHECK),
  // as behind many company firewalls, VPNs and TLS-inspecting proxies,
  // although the certificate is sound. A certificate reported revoked still
  // fails.
  curl_easy_setopt(handle, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT));
}

std::optional<std::string> platformProxyFor(std::string_view host) {
  // libcurl reads the proxy environment variables only, which a host started
  // from the Start menu never has; the proxy set in Internet Options, with
  // its bypass list matched against `host`, is used instead unless such a
  // variable is set. An environment variable no_proxy still applies
  // (libcurl reads it).
  if (proxyEnvironmentSet()) return std::nullopt;
  return currentUserProxyFor(host);
}

}  // namespace pingwell
