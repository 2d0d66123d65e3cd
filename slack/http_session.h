#pragma once
// The HTTP transport: one libcurl easy handle, owned here and nowhere else,
// reused for every transfer so that the TLS connection stays warm between
// messages.
#include <curl/curl.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "slack/api_request.h"
#include "slack/http_result.h"

namespace pingwell {

struct CurlHandleDeleter {
  void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};
using CurlHandle = std::unique_ptr<CURL, CurlHandleDeleter>;

struct CurlListDeleter {
  void operator()(curl_slist* list) const noexcept { curl_slist_free_all(list); }
};
using CurlList = std::unique_ptr<curl_slist, CurlListDeleter>;

// One POST: where to, what, as which content type, and how long it may take.
struct HttpRequest {
  enum class Content { Form, Bytes };
  std::string_view url;
  std::string_view body;  // libcurl reads it during the transfer
  Content content = Content::Form;
  Timeouts timeouts;
};

class HttpSession {
 public:
  // Takes a reference of libcurl's global state (curl_global_init); the
  // destructor releases the handle and then that reference, so that the
  // last session gone leaves nothing of libcurl behind.
  HttpSession();
  ~HttpSession();
  HttpSession(const HttpSession&) = delete;
  HttpSession& operator=(const HttpSession&) = delete;

  // What the session keeps of a reply's header lines: the value of its
  // x-oauth-scopes header, at most kLongestScopes bytes (a longer one counts
  // as none). Its memory serves every transfer.
  static constexpr size_t kLongestScopes = 4096;
  struct ScopesHeader {
    std::string value;
    bool present = false;
  };

  // One blocking POST under `mutex`, answered as a value: it neither throws
  // (but std::bad_alloc) nor writes anything. What it came to is judged by
  // slack/reply_check.h.
  HttpResult perform(const HttpRequest& request);

  // Ends the transfer under way, if any, within about a second, and every
  // later one at once (CURLE_ABORTED_BY_CALLBACK). Any thread may call it;
  // for the owner that must stop before a transfer's time-out runs out.
  void cancelTransfers() noexcept { cancelled_.store(true); }
  bool cancelled() const noexcept { return cancelled_.load(); }

  CurlHandle handle;
  int lastResult = 0;  // CURLcode of the latest transfer, 0 before the first
  // The address of the latest Web API call (root + method), written by the
  // client; its memory serves the next one.
  std::string url;
  std::mutex mutex;

 private:
  // The options of `request` that differ from the last transfer's.
  void applyOptions(CURL* h, const HttpRequest& request);
  void noteReplyHead(CURL* h, HttpResult& result) noexcept;

  std::atomic<bool> cancelled_{false};
  ScopesHeader scopes_;
  // What the handle holds from earlier transfers, so that each option is
  // handed over only when it changes (libcurl copies an address each time).
  std::string urlInHandle_;
  bool urlInHandleValid_ = false;
  std::string proxyHost_;  // the host whose proxy the handle holds
  bool proxyHostValid_ = false;
  std::optional<Timeouts> timeoutsInHandle_;
  std::optional<HttpRequest::Content> contentInHandle_;
  CurlList bytesHeaders_;  // "Content-Type: application/octet-stream"
  // The platform's proxy for each host met, looked up once.
  std::map<std::string, std::optional<std::string>, std::less<>> proxies_;
};

}  // namespace pingwell
