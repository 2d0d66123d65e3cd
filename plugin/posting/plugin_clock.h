#pragma once
// The one clock of the plug-in: render times, the pause after network
// failures, rate limits and the pace of progress edits are all read from it.
// It never jumps with the wall clock. Tests replace it to move time by hand,
// and replace the posting thread's pauses with one that moves their clock
// by the pause at once.
#include <chrono>

namespace pingwell {

using PluginClock = std::chrono::steady_clock;
using PluginNowFunction = PluginClock::time_point (*)();
using PluginPauseFunction = void (*)(PluginClock::duration pause);

// The time now, on the plug-in's clock.
PluginClock::time_point pluginNow() noexcept;

// Makes `now` the plug-in's clock (null: the steady clock again). For tests;
// not to be called while another thread reads the clock.
void replacePluginClock(PluginNowFunction now) noexcept;

// Makes `pause` stand in for every pause of posting's rules (a rate limit
// waited out, the wait before a message is tried again): it is called with
// the pause instead of a wait on the steady clock, and is to return at once
// (null: real waits again). For tests with a clock of their own; not to be
// called while a pause is under way.
void replacePluginPause(PluginPauseFunction pause) noexcept;

// The pause that stands in for the real ones, or null.
PluginPauseFunction replacedPluginPause() noexcept;

}  // namespace pingwell
