#include "plugin/posting/plugin_clock.h"

#include <atomic>

namespace pingwell {

namespace {

std::atomic<PluginNowFunction> replacement{nullptr};

}  // namespace

PluginClock::time_point pluginNow() noexcept {
  const PluginNowFunction now = replacement.load(std::memory_order_relaxed);
  return now != nullptr ? now() : PluginClock::now();
}

void replacePluginClock(PluginNowFunction now) noexcept {
  replacement.store(now, std::memory_order_relaxed);
}

}  // namespace pingwell
