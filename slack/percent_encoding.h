#pragma once
// Percent-encoding of form values, free of I/O.
#include <string>
#include <string_view>

namespace pingwell {

// Appends `text` to `out` with every byte outside RFC 3986's unreserved set
// (A-Z a-z 0-9 - . _ ~) written as "%" and two upper-case hexadecimal
// digits: byte for byte what curl_easy_escape writes, without its heap
// buffer. Texts longer than INT_MAX bytes are refused with
// std::runtime_error("text too long to percent-encode"), the limit the
// client has always had, before anything is appended.
void appendPercentEncoded(std::string& out, std::string_view text);

}  // namespace pingwell
