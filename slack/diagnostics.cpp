#include "slack/diagnostics.h"

#include <cstdio>
#include <string>

namespace pingwell {

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
