#include "plugin/posting/plugin_clock.h"

#include <atomic>

namespace pingwell {

namespace {

std::atomic<PluginNowFunction> replacement{nullptr};
std::atomic<PluginPauseFunction> pauseReplacement{nullptr};

}  // namespace

PluginClock::time_point pluginNow() noexcept {
  const PluginNowFunction now = replacement.load(std::memory_order_relaxed);
  return now != nullptr ? now() : PluginClock::now();
}

void replacePluginClock(PluginNowFunction now) noexcept {
  replacement.store(now, std::memory_order_relaxed);
}

void replacePluginPause(PluginPauseFunction pause) noexcept {
  pauseReplacement.store(pause, std::memory_order_relaxed);
}

PluginPauseFunction replacedPluginPause() noexcept {
  return pauseReplacement.load(std::memory_order_relaxed);
}

}  // namespace pingwell
