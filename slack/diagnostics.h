#pragma once
// The one place that writes diagnostic lines to the standard error stream.
// Every line starts with the prefix and ends in a line feed; it goes out in a
// single write so that lines from several threads never interleave.
#include <string_view>

namespace pingwell {

inline constexpr std::string_view kDiagnosticPrefix = "[pingwell] ";

// Writes kDiagnosticPrefix, `text` and a line feed. Never throws.
void writeDiagnostic(std::string_view text) noexcept;

}  // namespace pingwell
