#include "plugin/render_record.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <algorithm>

#include "plugin/host_interface.h"

namespace pingwell {

namespace {

constexpr size_t kMaxThreadTsSize = 32;
// Estimates beyond this (about 114 years) are shown as this.
constexpr double kLongestEstimateSeconds = 3.6e9;

// Digits written by hand: no locale has a say in them.
void appendNumber(std::string& out, int64_t value, int minDigits) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0 && n < static_cast<int>(sizeof digits));
  while (n < minDigits) digits[n++] = '0';
  while (n > 0) out.push_back(digits[--n]);
}

bool looksLikeTimeStamp(const std::string& ts) {
  if (ts.empty() || ts.size() > kMaxThreadTsSize) return false;
  for (char c : ts) {
    if ((c < '0' || c > '9') && c != '.') return false;
  }
  return true;
}

// To the nearest second, halves up; 0 for a negative duration.
int64_t wholeSeconds(RenderClock::duration elapsed) {
  if (elapsed.count() <= 0) return 0;
  const auto rounded = elapsed + std::chrono::milliseconds(500);
  return static_cast<int64_t>(std::chrono::duration_cast<std::chrono::seconds>(rounded).count());
}

// The frames of `range` after `frame`, when the range is known to be the
// render's and holds `frame`.
std::optional<int64_t> framesAfter(const RenderMoment& moment,
                                   const std::optional<FrameRange>& range) {
  if (!moment.announced || !range || range->step < 1) return std::nullopt;
  if (moment.frame < range->first || moment.frame > range->last) return std::nullopt;
  return (static_cast<int64_t>(range->last) - moment.frame) / range->step;
}

}  // namespace

std::string formatDuration(RenderClock::duration elapsed) {
  const int64_t total = wholeSeconds(elapsed);
  const int64_t hours = total / 3600;
  const int64_t minutes = total / 60 % 60;
  const int64_t seconds = total % 60;
  std::string text;
  if (hours > 0) {
    appendNumber(text, hours, 1);
    text += " h ";
  }
  if (total >= 60) {
    appendNumber(text, minutes, hours > 0 ? 2 : 1);
    text += " min ";
  }
  appendNumber(text, seconds, total >= 60 ? 2 : 1);
  text += " s";
  return text;
}

std::string formatRoughDuration(RenderClock::duration estimate) {
  const int64_t total = wholeSeconds(estimate);
  if (total < 60) return formatDuration(estimate);
  const int64_t minutesInAll = (total + 30) / 60;
  std::string text;
  if (minutesInAll >= 60) {
    appendNumber(text, minutesInAll / 60, 1);
    text += " h ";
  }
  appendNumber(text, minutesInAll % 60, minutesInAll >= 60 ? 2 : 1);
  text += " min";
  return text;
}

void RenderRecord::begin(std::optional<RenderClock::time_point> start) noexcept {
  inRender_ = true;
  announced_ = false;
  aborted_ = false;
  renderStart_ = start;
  frameStart_.reset();
  framesRendered_ = 0;
  timedFrames_ = 0;
  frameTimes_ = RenderClock::duration::zero();
  threadTs_.clear();
}

RenderMoment RenderRecord::note(int32_t eventCode, int32_t frame,
                                std::optional<RenderClock::time_point> now) noexcept {
  RenderMoment moment;
  switch (eventCode) {
    case HOST_EVENT_RENDER_STARTING:
      begin(now);
      announced_ = true;
      break;
    case HOST_EVENT_FRAME_STARTED:
      if (!inRender_ || aborted_) begin(now);
      frameStart_ = now;
      startedFrame_ = frame;
      break;
    case HOST_EVENT_FRAME_DONE:
      if (!inRender_ || aborted_) begin(now);
      ++framesRendered_;
      if (now && frameStart_ && startedFrame_ == frame) {
        moment.frameTime = *now - *frameStart_;
        ++timedFrames_;
        frameTimes_ += *moment.frameTime;
      }
      frameStart_.reset();
      moment.frame = frame;
      if (timedFrames_ > 0) moment.meanFrameTime = frameTimes_ / timedFrames_;
      moment.announced = announced_;
      break;
    case HOST_EVENT_RENDER_DONE:
      // A completion with nothing seen since the last one is a render of its
      // own, whose start is not known.
      if (!inRender_) begin(std::nullopt);
      if (now && renderStart_) moment.renderTime = *now - *renderStart_;
      moment.framesRendered = framesRendered_;
      if (aborted_) moment.abortedAtFrame = abortedFrame_;
      inRender_ = false;
      break;
    case HOST_EVENT_RENDER_ABORTED:
      // The completion that follows tells of the abort, also when nothing
      // of the render was seen before; a frame event belongs to the next one.
      if (!inRender_) begin(std::nullopt);
      aborted_ = true;
      abortedFrame_ = frame;
      frameStart_.reset();
      break;
    default:
      break;
  }
  return moment;
}

void RenderRecord::takeThread(const std::string& ts) {
  if (threadTs_.empty() && looksLikeTimeStamp(ts)) threadTs_ = ts;
}

std::string renderTimesText(int32_t eventCode, const RenderMoment& moment,
                            const std::string& machine, const std::optional<FrameRange>& range) {
  std::string text;
  if (eventCode == HOST_EVENT_FRAME_DONE) {
    const std::optional<int64_t> after = framesAfter(moment, range);
    if (after) {
      text += " of ";
      text += std::to_string(range->last);
    }
    if (moment.frameTime) {
      text += " (";
      text += formatDuration(*moment.frameTime);
      text += ')';
    }
    if (after && *after > 0 && moment.meanFrameTime) {
      // In seconds of a double: a long mean times many frames would overflow
      // the clock's count.
      const double seconds = std::min(std::chrono::duration<double>(*moment.meanFrameTime).count() *
                                          static_cast<double>(*after),
                                      kLongestEstimateSeconds);
      text += ", about ";
      text += formatRoughDuration(std::chrono::duration_cast<RenderClock::duration>(
          std::chrono::duration<double>(seconds)));
      text += " left";
    }
  } else if (eventCode == HOST_EVENT_RENDER_DONE) {
    if (moment.renderTime) {
      text += '\n';
      appendNumber(text, moment.framesRendered, 1);
      text += moment.framesRendered == 1 ? " frame in " : " frames in ";
      text += formatDuration(*moment.renderTime);
      if (moment.framesRendered > 1) {
        text += ", ";
        text += formatDuration(*moment.renderTime / moment.framesRendered);
        text += " a frame";
      }
    }
    if (!machine.empty()) {
      text += '\n';
      text += machine;
    }
  }
  return text;
}

std::string machineName() {
#ifdef _WIN32
  // The DNS host name, as the farm's other tools show the node.
  char name[256] = {};
  DWORD size = sizeof name;
  if (!GetComputerNameExA(ComputerNameDnsHostname, name, &size)) return {};
  return std::string(name, size < sizeof name ? size : sizeof name - 1);
#else
  // gethostname(2) may leave a cut name unterminated.
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
#endif
}

}  // namespace pingwell
