#include "plugin/posting/skip_note.h"

#include <algorithm>
#include <chrono>

namespace pingwell {

namespace {

// Whole seconds, cut off: how long ago.
std::string secondsAgo(PluginClock::duration d) {
  return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(d).count());
}

// Whole seconds, rounded up, so that a wait still running never reads 0 s:
// with secondsAgo, the two add up to the whole pause.
std::string secondsLeft(PluginClock::duration d) {
  return std::to_string(
      std::chrono::ceil<std::chrono::seconds>(std::max(d, PluginClock::duration::zero())).count());
}

}  // namespace

std::string messageOnOneLine(const std::string& message) {
  std::string line;
  line.reserve(message.size());
  for (char c : message) line.push_back(c == '\n' || c == '\r' ? ' ' : c);
  return line;
}

std::string skipNote(const std::string& message, const SkipReason& reason) {
  std::string line = "skipped \"";
  line += messageOnOneLine(message);
  if (reason.kind == SkipReason::Kind::RateLimit) {
    line += "\": rate-limited by the service ";
    line += secondsAgo(reason.since);
    line += " s ago (Retry-After ";
    line += std::to_string(reason.retryAfter.count());
    line += " s), next try in ";
    line += secondsLeft(reason.left);
    line += " s";
    return line;
  }
  line += "\": network failure ";
  line += secondsAgo(reason.since);
  line += " s ago (";
  line += reason.failure;
  line += "), next try in ";
  line += secondsLeft(reason.left);
  line += " s";
  return line;
}

}  // namespace pingwell
