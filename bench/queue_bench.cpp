// What the render pays for its messages now that the module's posting thread
// sends them: the render thread's time in each notifierEvent that posts,
// with every request going out over TLS on the posting thread; the
// render-completed event's wait for the render's messages; and the module's
// shutdown with messages still queued.
//
//   queue_bench --out FILE [--quick]
//
// Against a server that answers (tools/sandbox --nginx --latency 25, a 50 ms
// round trip): a render whose frames each post "Frame Started" and "Frame
// Rendered", frames 110 ms apart so that the thread keeps up; the time of
// every frame event (median, 99th percentile), the completion's wait and the
// shutdown. Against a dead service (tools/sandbox --silent-listener, or the
// stand-in with mode "stall"): 50 frames queue 100 frame messages behind a
// try that never ends, the completion's wait (at most 15 s), then 100 more
// and the shutdown (at most 10 s of drain and the abandoned transfer's end).
// --quick (bench/smoke) renders a few frames; its figures mean nothing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "host/standin_services.h"
#include "plugin/host_api/host_services.h"
#include "plugin/notifier/notifier.h"
#include "plugin/notifier/notifier_instance.h"
#include "plugin/posting/posting_queue.h"
#include "notifier_events.h"
#include "report_main.h"

namespace {

using bench::Clock;
using bench::deliver;
using bench::inSeconds;

double inMicroseconds(Clock::duration d) {
  return std::chrono::duration<double, std::micro>(d).count();
}

int fail(const std::string& why) {
  std::fprintf(stderr, "queue_bench: %s\n", why.c_str());
  return 1;
}

std::unique_ptr<pingwell::NotifierInstance> makeNotifier() {
  auto notifier = bench::benchNotifier();
  notifier->notifyRenderDone = 1;
  notifier->notifyFrameStart = 1;
  notifier->notifyFrameDone = 1;
  return notifier;
}

// Delivers the frames' events; returns the time of each.
std::vector<Clock::duration> frames(pingwell::NotifierInstance& notifier, int first, int last,
                                    Clock::duration apart) {
  pingwell_host::StandInServices& host = pingwell_host::StandInServices::get();
  std::vector<Clock::duration> times;
  for (int frame = first; frame <= last; ++frame) {
    host.setFrame(frame);
    times.push_back(deliver(notifier, HOST_EVENT_FRAME_STARTED));
    if (apart > Clock::duration::zero()) std::this_thread::sleep_for(apart);
    times.push_back(deliver(notifier, HOST_EVENT_FRAME_DONE));
  }
  return times;
}

double percentile(std::vector<Clock::duration> times, double p) {
  std::sort(times.begin(), times.end());
  const size_t at = std::min(times.size() - 1, static_cast<size_t>(p * (times.size() - 1) + 0.5));
  return inMicroseconds(times[at]);
}

Clock::duration timedShutdown() {
  const auto start = Clock::now();
  pingwell::closePostingQueue();
  return Clock::now() - start;
}

int run(const std::string& outPath, bool quick) {
  const char* listener = std::getenv("PINGWELL_SANDBOX_LISTENER");
  if (listener == nullptr || std::getenv("PINGWELL_STANDIN_DIR") == nullptr)
    return fail("needs tools/sandbox");
  const bool answering = std::strcmp(listener, "nginx") == 0;
  if (std::strcmp(listener, "standin") == 0) {
    // The stand-in holds every request unanswered.
    std::ofstream mode(std::string(std::getenv("PINGWELL_STANDIN_DIR")) + "/mode");
    mode << "stall\n";
  }
  pingwell_host::StandInServices& host = pingwell_host::StandInServices::get();
  host.reset();
  host.setSceneFile(std::string("/renders/shot_042.lws"));
  pingwell::keepHandlerServices(&pingwell_host::StandInServices::lookup);
  pingwell::openPostingQueue();
  auto notifier = makeNotifier();
  nlohmann::json result = {{"quick", quick}, {"listener", listener}};
  const char* latency = std::getenv("PINGWELL_SANDBOX_LATENCY_MS");
  result["latency_ms"] = latency != nullptr && *latency != '\0' ? std::atof(latency) : 0.0;

  if (answering) {
    const int count = quick ? 5 : 150;
    host.setFrameRange(1, count, 1);
    // A first render warms the connection, as the session's first message does.
    deliver(*notifier, HOST_EVENT_RENDER_STARTING);
    frames(*notifier, 1, 1, std::chrono::milliseconds(110));
    deliver(*notifier, HOST_EVENT_RENDER_DONE);
    deliver(*notifier, HOST_EVENT_RENDER_STARTING);
    const std::vector<Clock::duration> times =
        frames(*notifier, 1, count, std::chrono::milliseconds(110));
    const Clock::duration completion = deliver(*notifier, HOST_EVENT_RENDER_DONE);
    result["frame_events"] = times.size();
    result["event_median_us"] = percentile(times, 0.5);
    result["event_p99_us"] = percentile(times, 0.99);
    result["event_max_us"] = percentile(times, 1.0);
    result["completion_wait_s"] = inSeconds(completion);
    result["shutdown_s"] = inSeconds(timedShutdown());
  } else {
    const int count = quick ? 3 : 50;
    host.setFrameRange(1, 2 * count, 1);
    deliver(*notifier, HOST_EVENT_RENDER_STARTING);
    const std::vector<Clock::duration> times = frames(*notifier, 1, count, Clock::duration::zero());
    const Clock::duration completion = deliver(*notifier, HOST_EVENT_RENDER_DONE);
    deliver(*notifier, HOST_EVENT_RENDER_STARTING);
    frames(*notifier, count + 1, 2 * count, Clock::duration::zero());
    result["frame_events"] = times.size();
    result["event_median_us"] = percentile(times, 0.5);
    result["event_p99_us"] = percentile(times, 0.99);
    result["completion_wait_s"] = inSeconds(completion);
    result["queued_at_shutdown"] = 2 * count;
    result["shutdown_s"] = inSeconds(timedShutdown());
    // A ten-hour render of 1,200 frames of 30 s, both frame messages on:
    // what the render pays is its 2,400 frame events and the completion's
    // wait, now that no try is made on its thread.
    const double paid = 2400 * percentile(times, 0.5) / 1e6 + inSeconds(completion);
    result["ten_hour_share_percent"] = 100.0 * paid / (36000.0 + paid);
  }
  if (!bench::writeReport(outPath, result)) return fail("cannot write " + outPath);
  std::printf("%s\n", result.dump().c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return bench::reportMain("queue_bench", argc, argv,
                           [](const bench::ReportRun& args) { return run(args.out, args.quick); });
}
