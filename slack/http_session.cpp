#include "slack/http_session.h"

#include <stdexcept>

#include "slack/api_root.h"
#include "slack/diagnostics.h"
#include "slack/system_proxy.h"

namespace pingwell {
namespace {

// CURLOPT_WRITEFUNCTION: appends everything to the std::string behind
// `userdata`. Returning less than size*nmemb would abort the transfer, so a
// failed allocation is the only refusal (curl_easy_setopt(3), "write callback").
size_t appendToString(char* data, size_t size, size_t nmemb, void* userdata) {
  const size_t count = size * nmemb;
  try {
    static_cast<std::string*>(userdata)->append(data, count);
    return count;
  } catch (...) {
    return 0;  // ends the transfer as CURLE_WRITE_ERROR; no exception through C code
  }
}

// Time limits so that a stalled or silent server cannot hold the host's
// render thread for ever. CURLOPT_NOSIGNAL keeps libcurl from using SIGALRM
// for name-resolution time-outs, which is unsafe in a threaded process
// (CURLOPT_NOSIGNAL(3)).
constexpr long kConnectTimeoutSeconds = 10;
constexpr long kTransferTimeoutSeconds = 30;

constexpr size_t kKeptHeaderBytes = 16 * 1024;

}  // namespace

HttpSession::HttpSession(bool throwErrors) : throwErrors(throwErrors) {
  curl_global_init(CURL_GLOBAL_ALL);
  handle.reset(curl_easy_init());
  if (!handle) return;
  // Options that are the same for every transfer; the handle keeps them.
  CURL* h = handle.get();
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &appendToString);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &headers_);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
  curl_easy_setopt(h, CURLOPT_TIMEOUT, kTransferTimeoutSeconds);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
#ifdef _WIN32
  // Schannel fails the handshake when it cannot reach the certificate's
  // revocation server (CRYPT_E_REVOCATION_OFFLINE, CRYPT_E_NO_REVOCATION_CHECK),
  // as behind many company firewalls, VPNs and TLS-inspecting proxies,
  // although the certificate is sound. A certificate reported revoked still
  // fails.
  curl_easy_setopt(h, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT));
  // libcurl reads the proxy environment variables only, which a host started
  // from the Start menu never has; the proxy set in Internet Options is used
  // instead, unless such a variable is set. Read once, when the client is
  // made. An environment variable no_proxy still applies (libcurl reads it).
  if (!proxyEnvironmentSet()) {
    const std::optional<std::string> proxy = currentUserProxyFor(hostOfUrl(kWebApiRoot));
    if (proxy) curl_easy_setopt(h, CURLOPT_PROXY, proxy->c_str());
  }
#endif
}

void HttpSession::noteReplyHead(CURL* h) noexcept {
  long status = 0;
  if (curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK) lastStatus = status;
  // libcurl reads Retry-After itself, in seconds or as an HTTP date
  // (CURLINFO_RETRY_AFTER(3)); 0 when the reply had none.
  curl_off_t retryAfter = 0;
  if (curl_easy_getinfo(h, CURLINFO_RETRY_AFTER, &retryAfter) == CURLE_OK && retryAfter > 0) {
    constexpr curl_off_t kLongestWait = 24 * 60 * 60;  // a day: the rest is the server's error
    lastRetryAfterSeconds =
        static_cast<long>(retryAfter < kLongestWait ? retryAfter : kLongestWait);
  }
}

void HttpSession::setRequest(const std::string& method, const std::string& body) {
  url = kWebApiRoot;
  url += method;
  if (!handle) return;
  curl_easy_setopt(handle.get(), CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
  curl_easy_setopt(handle.get(), CURLOPT_POSTFIELDS, body.c_str());
}

HttpResult HttpSession::perform() {
  std::lock_guard<std::mutex> lock(mutex);
  HttpResult result;
  headers_.clear();  // collected apart from the body, then dropped

  ++transferCount;
  lastStatus = 0;
  lastRetryAfterSeconds.reset();
  CURLcode code = CURLE_FAILED_INIT;  // no handle: reported as a failed transfer
  if (handle) {
    CURL* h = handle.get();
    // libcurl copies the address it is given; it is handed over again only
    // when it has changed, which spares that copy for every message.
    if (!urlInHandleValid_ || url != urlInHandle_) {
      urlInHandleValid_ = curl_easy_setopt(h, CURLOPT_URL, url.c_str()) == CURLE_OK;
      if (urlInHandleValid_) urlInHandle_ = url;
    }
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &result.body);
    code = curl_easy_perform(h);
    if (code == CURLE_OK) noteReplyHead(h);
  }
  // The server chooses how much header text it sends: keep the memory of a
  // usual reply's headers for the next transfer, not that of a huge one.
  if (headers_.capacity() > kKeptHeaderBytes) std::string().swap(headers_);
  lastResult = code;

  if (code != CURLE_OK) {
    std::string text = "curl_easy_perform() failed ";
    text += curl_easy_strerror(code);
    if (throwErrors) throw std::runtime_error(text);
    writeDiagnostic(text);
    result.failed = true;
    result.errorText = std::move(text);
  }
  return result;
}

}  // namespace pingwell
