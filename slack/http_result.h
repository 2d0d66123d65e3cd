#pragma once
#include <optional>
#include <string>

namespace pingwell {

// Outcome of one transfer, returned by value and owned by the caller: all
// that the transfer came to, so that nobody reads the session's state after
// its lock is released.
struct HttpResult {
  std::string body;       // response body as received (no headers); partial after a failure
  bool failed = false;    // the transfer's libcurl result was not CURLE_OK
  int code = 0;           // libcurl's result (CURLcode); 0 after a transfer that completed
  // Of a transfer that completed: the HTTP status, and the seconds of its
  // Retry-After header when it had one (at most a day).
  long status = 0;
  std::optional<long> retryAfterSeconds;
  // Of a transfer that completed: the value of its x-oauth-scopes header
  // (the token's scopes, separated by commas) when it had one.
  std::optional<std::string> grantedScopes;
};

}  // namespace pingwell
