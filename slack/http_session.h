#pragma once
// The HTTP transport: one libcurl easy handle, owned here and nowhere else,
// reused for every transfer so that the TLS connection stays warm between
// messages.
#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "slack/http_result.h"

namespace pingwell {

struct CurlHandleDeleter {
  void operator()(CURL* handle) const noexcept { curl_easy_cleanup(handle); }
};
using CurlHandle = std::unique_ptr<CURL, CurlHandleDeleter>;

class HttpSession {
 public:
  explicit HttpSession(bool throwErrors);
  HttpSession(const HttpSession&) = delete;
  HttpSession& operator=(const HttpSession&) = delete;

  // Sets the address (Web API root + method) and the POST body of the next
  // transfer. libcurl does not copy the body (CURLOPT_POSTFIELDS): it must
  // stay alive and unchanged until perform() has returned. Takes no lock.
  void setRequest(const std::string& method, const std::string& body);

  // One blocking POST under `mutex`. A failed transfer throws
  // std::runtime_error when throwErrors is on; otherwise it writes one
  // diagnostic line and returns a result marked failed.
  HttpResult perform();

  CurlHandle handle;
  int lastResult = 0;  // CURLcode of the latest curl_easy_perform, 0 before the first
  // Counts the calls of perform(), so that a caller can tell whether a
  // failure came before or from a transfer.
  unsigned long transferCount = 0;
  // Of the latest transfer that completed: the HTTP status, and the seconds
  // of its Retry-After header, when it had one. 0 and none after a failure.
  long lastStatus = 0;
  std::optional<long> lastRetryAfterSeconds;
  std::string url;
  bool throwErrors;
  std::mutex mutex;

 private:
  void noteReplyHead(CURL* h) noexcept;

  std::string headers_;      // the reply's header lines; its memory serves the next transfer
  std::string urlInHandle_;  // the address the handle holds, when valid
  bool urlInHandleValid_ = false;
};

}  // namespace pingwell
