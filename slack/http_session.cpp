#include "slack/http_session.h"

#include "slack/session_platform.h"
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

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t n = 0; n < prefix.size(); ++n) {
    const char c = text[n];
    const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
    if (lower != prefix[n]) return false;
  }
  return true;
}

// CURLOPT_HEADERFUNCTION: libcurl hands over one header line at a time,
// with its line end; of them the session keeps the x-oauth-scopes header
// alone. A status line starts the headers of another reply (a proxy's
// answer to CONNECT, an interim 100), which forget what came before. Takes
// every line, so never ends the transfer, and allocates nothing: the value
// goes into memory reserved once.
size_t noteHeaderLine(char* data, size_t size, size_t nmemb, void* userdata) {
  const size_t count = size * nmemb;
  auto& scopes = *static_cast<HttpSession::ScopesHeader*>(userdata);
  std::string_view line(data, count);
  constexpr std::string_view kName = "x-oauth-scopes:";
  if (startsWithNoCase(line, "http/")) {
    scopes.present = false;
    scopes.value.clear();
    return count;
  }
  if (!startsWithNoCase(line, kName)) return count;
  line.remove_prefix(kName.size());
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!line.empty() && blank(line.front())) line.remove_prefix(1);
  while (!line.empty() && blank(line.back())) line.remove_suffix(1);
  scopes.present = line.size() <= scopes.value.capacity();
  scopes.value.assign(scopes.present ? line : std::string_view());
  return count;
}

// CURLOPT_XFERINFOFUNCTION: a non-zero return ends the transfer. libcurl
// calls it often during a transfer and about once a second while nothing
// moves (CURLOPT_XFERINFOFUNCTION(3)), so a cancelled session stops within
// a second even against a server that never answers.
int stopWhenCancelled(void* clientp, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<const std::atomic<bool>*>(clientp)->load() ? 1 : 0;
}

}  // namespace

HttpSession::HttpSession() {
  curl_global_init(CURL_GLOBAL_ALL);
  handle.reset(curl_easy_init());
  if (!handle) return;
  // Options that are the same for every transfer; the handle keeps them.
  // CURLOPT_NOSIGNAL keeps libcurl from using SIGALRM for name-resolution
  // time-outs, which is unsafe in a threaded process (CURLOPT_NOSIGNAL(3)).
  CURL* h = handle.get();
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &appendToString);
  scopes_.value.reserve(kLongestScopes);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &noteHeaderLine);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &scopes_);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &stopWhenCancelled);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, &cancelled_);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  setPlatformOptions(h);
}

HttpSession::~HttpSession() {
  // Everything of libcurl this session holds goes before the global
  // reference the constructor took.
  handle.reset();
  bytesHeaders_.reset();
  curl_global_cleanup();
}

void HttpSession::noteReplyHead(CURL* h, HttpResult& result) noexcept {
  long status = 0;
  if (curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK) result.status = status;
  // libcurl reads Retry-After itself, in seconds or as an HTTP date
  // (CURLINFO_RETRY_AFTER(3)); 0 when the reply had none.
  curl_off_t retryAfter = 0;
  if (curl_easy_getinfo(h, CURLINFO_RETRY_AFTER, &retryAfter) == CURLE_OK && retryAfter > 0) {
    constexpr curl_off_t kLongestWait = 24 * 60 * 60;  // a day: the rest is the server's error
    result.retryAfterSeconds =
        static_cast<long>(retryAfter < kLongestWait ? retryAfter : kLongestWait);
  }
}

void HttpSession::applyOptions(CURL* h, const HttpRequest& request) {
  if (!urlInHandleValid_ || request.url != urlInHandle_) {
    urlInHandle_.assign(request.url);
    urlInHandleValid_ = curl_easy_setopt(h, CURLOPT_URL, urlInHandle_.c_str()) == CURLE_OK;
  }
  // The proxy is chosen for the host the transfer goes to.
  const std::string_view host = hostOfUrl(request.url);
  if (!proxyHostValid_ || host != proxyHost_) {
    auto known = proxies_.find(host);
    if (known == proxies_.end()) {
      known = proxies_.emplace(std::string(host), platformProxyFor(host)).first;
    }
    // Null gives libcurl back its own choice (the environment variables).
    curl_easy_setopt(h, CURLOPT_PROXY, known->second ? known->second->c_str() : nullptr);
    proxyHost_.assign(host);
    proxyHostValid_ = true;
  }
  if (!timeoutsInHandle_ || timeoutsInHandle_->connectSeconds != request.timeouts.connectSeconds ||
      timeoutsInHandle_->totalSeconds != request.timeouts.totalSeconds) {
    // Time limits, so that a stalled or silent server cannot hold the host's
    // render thread for ever.
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, request.timeouts.connectSeconds);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, request.timeouts.totalSeconds);
    timeoutsInHandle_ = request.timeouts;
  }
  if (contentInHandle_ != request.content) {
    // A form body goes with libcurl's default content type; bytes say what
    // they are. No other header is ever added: the token never travels in
    // one.
    curl_slist* headers = nullptr;
    if (request.content == HttpRequest::Content::Bytes) {
      if (!bytesHeaders_) {
        bytesHeaders_.reset(
            curl_slist_append(nullptr, "Content-Type: application/octet-stream"));
      }
      headers = bytesHeaders_.get();
    }
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    contentInHandle_ = request.content;
  }
  curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
  curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.body.data());
}

HttpResult HttpSession::perform(const HttpRequest& request) {
  std::lock_guard<std::mutex> lock(mutex);
  HttpResult result;
  scopes_.present = false;
  scopes_.value.clear();
  CURLcode code = CURLE_FAILED_INIT;  // no handle: reported as a failed transfer
  if (handle) {
    CURL* h = handle.get();
    applyOptions(h, request);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &result.body);
    code = curl_easy_perform(h);
    if (code == CURLE_OK) {
      noteReplyHead(h, result);
      if (scopes_.present) result.grantedScopes = scopes_.value;
    }
  }
  lastResult = code;
  result.code = code;
  result.failed = code != CURLE_OK;
  return result;
}

}  // namespace pingwell
