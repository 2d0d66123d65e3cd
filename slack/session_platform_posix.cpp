#include "slack/session_platform.h"

namespace pingwell {

// libcurl's defaults are the platform's: its proxy environment variables,
// OpenSSL with the system's certificates.
void setPlatformOptions(CURL* /*handle*/) noexcept {}

std::optional<std::string> platformProxyFor(std::string_view /*host*/) { return std::nullopt; }

}  // namespace pingwell
