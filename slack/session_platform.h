#pragma once
// What the HTTP session does differently on each platform: options of the
// handle, and the proxy the platform's own settings name for a host.
// session_platform_posix.cpp and session_platform_windows.cpp hold the two.
#include <curl/curl.h>

#include <optional>
#include <string>
#include <string_view>

namespace pingwell {

// Options set once on the new handle.
void setPlatformOptions(CURL* handle) noexcept;

// The proxy for `host` that libcurl does not find itself (it reads only the
// proxy environment variables), or none: then libcurl's own choice holds.
std::optional<std::string> platformProxyFor(std::string_view host);

}  // namespace pingwell
