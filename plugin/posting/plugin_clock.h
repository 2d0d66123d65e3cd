#pragma once
// The one clock of the plug-in: render times, the pause after network
// failures, rate limits and the pace of progress edits are all read from it.
// It never jumps with the wall clock. Tests replace it to move time by hand.
#include <chrono>

namespace pingwell {

using PluginClock = std::chrono::steady_clock;
using PluginNowFunction = PluginClock::time_point (*)();

// The time now, on the plug-in's clock.
PluginClock::time_point pluginNow() noexcept;

// Makes `now` the plug-in's clock (null: the steady clock again). For tests;
// not to be called while another thread reads the clock.
void replacePluginClock(PluginNowFunction now) noexcept;

}  // namespace pingwell
