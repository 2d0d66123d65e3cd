#include "slack/diagnostics.h"

#include <cstdio>
#include <string>

namespace pingwell {

std::string maskSecret(std::string text, std::string_view secret) {
  constexpr std::string_view kMask = "***";
  constexpr size_t kShortestSecret = 8;
  if (secret.size() < kShortestSecret) return text;
  for (size_t at = text.find(secret); at != std::string::npos;
       at = text.find(secret, at + kMask.size())) {
    text.replace(at, secret.size(), kMask);
  }
  return text;
}

void writeDiagnostic(std::string_view text) noexcept {
  try {
    std::string line;
    line.reserve(kDiagnosticPrefix.size() + text.size() + 1);
    line.append(kDiagnosticPrefix).append(text).push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stderr);
  } catch (...) {
    // Out of memory: write the pieces one by one rather than lose the line.
    std::fwrite(kDiagnosticPrefix.data(), 1, kDiagnosticPrefix.size(), stderr);
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
  }
  std::fflush(stderr);
}

}  // namespace pingwell
