#pragma once
// The one place that writes diagnostic lines to the standard error stream.
// Every line starts with the prefix and ends in a line feed; it goes out in a
// single write so that lines from several threads never interleave.
#include <string>
#include <string_view>

namespace pingwell {

inline constexpr std::string_view kDiagnosticPrefix = "[pingwell] ";

// Writes kDiagnosticPrefix, `text` and a line feed. Never throws.
void writeDiagnostic(std::string_view text) noexcept;

// `text` with every occurrence of `secret` replaced by "***", so that a
// server echoing the request cannot bring the token onto the error stream.
// Secrets shorter than 8 bytes cannot be real tokens and are left alone:
// masking them would only garble the line.
std::string maskSecret(std::string text, std::string_view secret);

}  // namespace pingwell
