#pragma once
// Containment of failures at the host boundary: no exception may reach the
// host, so every callback ends in a catch-all that reports here.
#include <string_view>

namespace pingwell {

// Call only inside a catch block. Writes one diagnostic line, "[pingwell]
// error " and the exception's text (a fixed text for exceptions that are not
// std::exception). Every occurrence of `secret` (of 8 bytes or more) in that
// text is masked, so a server that echoes the request cannot bring the token
// onto the stream.
// Never throws.
void reportCurrentException(std::string_view secret = {}) noexcept;

}  // namespace pingwell
