// What a previewed frame costs the render on a slow line: a render of
// 1920 x 1080 frames with the preview filter applied and sRGB output (the
// host stand-in's services), each frame the host's frame-started event, the
// filter's process (its pass-through and the preview's capture, the frame
// and the host's buffers those of preview_bench) and the frame-rendered
// event, which hands the first frame's preview over while the module's
// posting thread sends its messages and uploads it at the line's pace; the
// completion then hands over the last frame's. The baseline is the
// pass-through alone on the same frame.
//
//   preview_line_bench --out FILE [--quick]
//
// Needs tools/sandbox --nginx --ids --rate KBIT (an upload address, and the
// link to the service at KBIT kilobits a second). FILE gets one JSON object:
// the render thread's time per frame (median, longest), the pass-through's
// median, the longest frame-rendered event, the completion's wait, the shutdown (the last
// preview's upload) and the uploads the server logged. The frames follow
// each other with no pause, so that the first preview's upload is still on
// the line while they render (the completion's wait says so). --quick
// (bench/smoke) renders two frames of 640 x 360; its figures mean nothing.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "filter_host.h"
#include "host/standin_services.h"
#include "notifier_events.h"
#include "plugin/host_api/host_services.h"
#include "plugin/notifier/notifier.h"
#include "plugin/notifier/notifier_instance.h"
#include "plugin/posting/posting_queue.h"
#include "plugin/previews/image_filter.h"
#include "report_main.h"

namespace {

using bench::Clock;
using bench::deliver;
using bench::inSeconds;

double inMilliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

int fail(const std::string& why) {
  std::fprintf(stderr, "preview_line_bench: %s\n", why.c_str());
  return 1;
}

std::unique_ptr<pingwell::NotifierInstance> makeNotifier() {
  auto notifier = bench::benchNotifier();
  notifier->notifyRenderDone = 1;
  notifier->notifyFrameDone = 1;
  return notifier;
}

// The render thread's part of one frame: its frame-started event, the
// filter's process and its frame-rendered event (the last alone too); and,
// as the baseline, the pass-through any filter does, on the same frame.
struct FrameCost {
  Clock::duration total{};
  Clock::duration frameDone{};
  Clock::duration passThrough{};
};

FrameCost renderFrame(pingwell::NotifierInstance& notifier, void* filter,
                      const bench::RenderedFrame& rendered, int frame) {
  pingwell_host::StandInServices::get().setFrame(frame);
  const HostFilterAccess access = bench::Host::access(rendered, frame);
  FrameCost cost;
  auto start = Clock::now();
  bench::passThrough(access);
  cost.passThrough = Clock::now() - start;
  cost.total = deliver(notifier, HOST_EVENT_FRAME_STARTED);
  start = Clock::now();
  pingwell::previewFilterProcess(filter, &access);
  cost.total += Clock::now() - start;
  cost.frameDone = deliver(notifier, HOST_EVENT_FRAME_DONE);
  cost.total += cost.frameDone;
  return cost;
}

double percentile(std::vector<Clock::duration> times, double p) {
  std::sort(times.begin(), times.end());
  const size_t at = std::min(times.size() - 1, static_cast<size_t>(p * (times.size() - 1) + 0.5));
  return inMilliseconds(times[at]);
}

// The uploads the server logged: the body lengths of the POSTs to the
// upload address, the only requests whose bodies are a preview's size.
std::vector<long> uploadsLogged(const std::string& stateDir) {
  std::ifstream log(stateDir + "/access.log");
  std::vector<long> lengths;
  std::string line;
  while (std::getline(log, line)) {
    std::istringstream fields(line);
    std::string connection, request, method, length, status;
    if (!(fields >> connection >> request >> method >> length >> status)) continue;
    const long bytes = std::atol(length.c_str());
    if (method == "POST" && bytes > 4096) lengths.push_back(bytes);
  }
  return lengths;
}

int run(const bench::ReportRun& args) {
  const char* listener = std::getenv("PINGWELL_SANDBOX_LISTENER");
  const char* rate = std::getenv("PINGWELL_SANDBOX_RATE_KBIT");
  const char* state = std::getenv("PINGWELL_STANDIN_DIR");
  if (listener == nullptr || std::strcmp(listener, "nginx") != 0 || rate == nullptr ||
      *rate == '\0' || state == nullptr)
    return fail("needs the server of tools/sandbox --nginx --ids --rate KBIT");
  const bench::RenderedFrame rendered =
      args.quick ? bench::RenderedFrame(640, 360) : bench::RenderedFrame(1920, 1080);
  const int count = args.quick ? 2 : 30;

  pingwell_host::StandInServices& host = pingwell_host::StandInServices::get();
  host.reset();
  host.setSceneFile(std::string("/renders/shot_042.lws"));
  host.setFrameRange(1, count, 1);
  host.setOutputColorSpace(HOST_COLOR_SPACE_SRGB);
  pingwell::keepHandlerServices(&pingwell_host::StandInServices::lookup);
  pingwell::openPostingQueue();
  void* filter = pingwell::previewFilterCreate(
      reinterpret_cast<void*>(&pingwell_host::StandInServices::lookup), nullptr, nullptr);
  if (filter == nullptr) return fail("the preview filter could not be made");
  auto notifier = makeNotifier();

  deliver(*notifier, HOST_EVENT_RENDER_STARTING);
  std::vector<Clock::duration> totals;
  std::vector<Clock::duration> frameDone;
  std::vector<Clock::duration> passThrough;
  for (int frame = 1; frame <= count; ++frame) {
    const FrameCost cost = renderFrame(*notifier, filter, rendered, frame);
    totals.push_back(cost.total);
    frameDone.push_back(cost.frameDone);
    passThrough.push_back(cost.passThrough);
  }
  const Clock::duration completion = deliver(*notifier, HOST_EVENT_RENDER_DONE);
  const auto shutdownStart = Clock::now();
  pingwell::closePostingQueue();
  const Clock::duration shutdown = Clock::now() - shutdownStart;
  pingwell::previewFilterDestroy(filter);

  const std::vector<long> uploads = uploadsLogged(state);
  nlohmann::json result = {{"quick", args.quick},
                           {"rate_kbit", std::atof(rate)},
                           {"width", rendered.width},
                           {"height", rendered.height},
                           {"frames", count},
                           {"frame_median_ms", percentile(totals, 0.5)},
                           {"frame_max_ms", percentile(totals, 1.0)},
                           {"frame_done_max_ms", percentile(frameDone, 1.0)},
                           {"pass_through_median_ms", percentile(passThrough, 0.5)},
                           {"completion_wait_s", inSeconds(completion)},
                           {"shutdown_s", inSeconds(shutdown)},
                           {"upload_bytes", uploads}};
  if (uploads.size() != 2)
    return fail("the server logged " + std::to_string(uploads.size()) +
                " uploads, not the first and the last frame's");
  if (!bench::writeReport(args.out, result)) return fail("cannot write " + args.out);
  std::printf("%s\n", result.dump().c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return bench::reportMain("preview_line_bench", argc, argv, &run);
}
