#pragma once
#include <string>

namespace pingwell {

// Outcome of one transfer, returned by value and owned by the caller.
struct HttpResult {
  std::string body;       // response body as received (no headers); partial after a failure
  bool failed = false;    // the transfer's libcurl result was not CURLE_OK
  std::string errorText;  // "curl_easy_perform() failed " + curl_easy_strerror(), or empty
};

}  // namespace pingwell
