#include "plugin/failure_report.h"

#include <exception>
#include <string>

#include "slack/diagnostics.h"

namespace pingwell {

namespace {

constexpr std::string_view kUnknownFailure = "error unknown failure";
constexpr std::string_view kOutOfMemory = "error out of memory";
constexpr std::string_view kSecretMask = "***";
// Shorter texts cannot be real tokens; masking them would only garble the
// line (a one-letter "token" would take every such letter with it).
constexpr size_t kShortestSecret = 8;

std::string masked(std::string text, std::string_view secret) {
  if (secret.size() < kShortestSecret) return text;
  for (size_t at = text.find(secret); at != std::string::npos;
       at = text.find(secret, at + kSecretMask.size())) {
    text.replace(at, secret.size(), kSecretMask);
  }
  return text;
}

}  // namespace

void reportCurrentException(std::string_view secret) noexcept {
  try {
    try {
      throw;
    } catch (const std::bad_alloc&) {
      writeDiagnostic(kOutOfMemory);
    } catch (const std::exception& failure) {
      writeDiagnostic(masked(std::string("error ") + failure.what(), secret));
    } catch (...) {
      writeDiagnostic(kUnknownFailure);
    }
  } catch (...) {
    // Building the line itself failed (out of memory).
    writeDiagnostic(kOutOfMemory);
  }
}

}  // namespace pingwell
