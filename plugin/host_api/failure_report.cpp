#include "plugin/host_api/failure_report.h"

#include <exception>
#include <string>

#include "slack/diagnostics.h"

namespace pingwell {

namespace {

constexpr std::string_view kUnknownFailure = "error unknown failure";
constexpr std::string_view kOutOfMemory = "error out of memory";

}  // namespace

void reportCurrentException(std::string_view secret) noexcept {
  try {
    try {
      throw;
    } catch (const std::bad_alloc&) {
      writeDiagnostic(kOutOfMemory);
    } catch (const std::exception& failure) {
      writeDiagnostic(maskSecret(std::string("error ") + failure.what(), secret));
    } catch (...) {
      writeDiagnostic(kUnknownFailure);
    }
  } catch (...) {
    // Building the line itself failed (out of memory).
    writeDiagnostic(kOutOfMemory);
  }
}

}  // namespace pingwell
