#include "plugin/notifier/message_text.h"

#include <algorithm>
#include <chrono>

#include "plugin/host_api/host_interface.h"
#include "plugin/posting/message_markup.h"

namespace pingwell {

namespace {

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

// The mean frame time times `frames`, as an estimate of what is left.
RenderClock::duration timeLeft(RenderClock::duration mean, int64_t frames) {
  // In seconds of a double: a long mean times many frames would overflow the
  // clock's count.
  const double seconds = std::min(
      std::chrono::duration<double>(mean).count() * static_cast<double>(frames),
      kLongestEstimateSeconds);
  return std::chrono::duration_cast<RenderClock::duration>(std::chrono::duration<double>(seconds));
}

// ", about 4 h 18 min left": the mean frame time so far times the frames of
// the range still to come, when there are any and a frame was timed.
void appendTimeLeft(std::string& text, const RenderMoment& moment,
                    const std::optional<int64_t>& framesStillToCome) {
  if (!framesStillToCome || *framesStillToCome <= 0 || !moment.meanFrameTime) return;
  text += ", about ";
  text += formatRoughDuration(timeLeft(*moment.meanFrameTime, *framesStillToCome));
  text += " left";
}

// The scene's name as the first line of a text: the service's markup
// characters in it escaped.
std::string sceneLine(const char* sceneFileName) {
  std::string text;
  appendAsText(text, shownSceneName(sceneFileName));
  return text;
}

// " 250 frames in 1 h 02 min 13 s" ("1 frame in 45 s") of a completed render.
void appendFramesIn(std::string& text, const RenderMoment& moment) {
  appendNumber(text, moment.framesRendered, 1);
  text += moment.framesRendered == 1 ? " frame in " : " frames in ";
  text += formatDuration(*moment.renderTime);
}

// " (<!date^T^{time}|HH:MM UTC>)": the service shows the Unix time T in each
// reader's own time, the text after "|" being its fallback.
void appendDate(std::string& text, int64_t unixTime) {
  const int64_t time = std::max<int64_t>(unixTime, 0);
  const int64_t ofDay = time % 86400;
  text += " (<!date^";
  appendNumber(text, time, 1);
  text += "^{time}|";
  appendNumber(text, ofDay / 3600, 2);
  text += ':';
  appendNumber(text, ofDay / 60 % 60, 2);
  text += " UTC>)";
}

}  // namespace

std::string composeMessage(int32_t eventCode, const char* sceneFileName, int32_t frame) {
  const char* tail = nullptr;
  bool withFrame = true;
  switch (eventCode) {
    case HOST_EVENT_FRAME_STARTED:
      tail = "\nFrame Started: ";
      break;
    case HOST_EVENT_FRAME_DONE:
      tail = "\nFrame Rendered: ";
      break;
    case HOST_EVENT_RENDER_DONE:
      tail = "\nRENDER COMPLETED";
      withFrame = false;
      break;
    default:
      return {};
  }
  std::string text = sceneLine(sceneFileName);
  text += tail;
  if (withFrame) text += std::to_string(frame);
  return text;
}

std::string composeAbortedMessage(const char* sceneFileName, int32_t frame) {
  std::string text = sceneLine(sceneFileName);
  text += "\nRENDER ABORTED at frame ";
  text += std::to_string(frame);
  return text;
}

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
    appendTimeLeft(text, moment, after);
  } else if (eventCode == HOST_EVENT_RENDER_DONE) {
    if (moment.renderTime) {
      text += '\n';
      appendFramesIn(text, moment);
      if (moment.framesRendered > 1) {
        text += ", ";
        text += formatDuration(*moment.renderTime / moment.framesRendered);
        text += " a frame";
      }
    }
    if (!machine.empty()) {
      text += '\n';
      appendAsText(text, machine);
    }
  }
  return text;
}

std::string progressStartText(const char* sceneFileName, const RenderMoment& moment,
                              const std::optional<FrameRange>& range) {
  std::string text = sceneLine(sceneFileName);
  text += "\nRendering frame ";
  text += std::to_string(moment.frame);
  if (framesAfter(moment, range)) {
    text += " of ";
    text += std::to_string(range->last);
  }
  return text;
}

std::string progressFrameText(const char* sceneFileName, const RenderMoment& moment,
                              const std::optional<FrameRange>& range) {
  std::string text = sceneLine(sceneFileName);
  text += "\nFrame ";
  text += std::to_string(moment.frame);
  const std::optional<int64_t> after = framesAfter(moment, range);
  if (!after) {
    text += " rendered";
    return text;
  }
  text += " of ";
  text += std::to_string(range->last);
  // The share of the range's frames up to this one, to the nearest per cent;
  // 100 % only at the last.
  const int64_t inRange = (static_cast<int64_t>(range->last) - range->first) / range->step + 1;
  const int64_t upToThis = inRange - *after;
  int64_t percent = (upToThis * 200 + inRange) / (inRange * 2);
  if (*after > 0) percent = std::min<int64_t>(percent, 99);
  text += " rendered (";
  appendNumber(text, percent, 1);
  text += " %)";
  appendTimeLeft(text, moment, after);
  return text;
}

std::string stallAlertText(const char* sceneFileName, const RenderMoment& moment,
                           const std::optional<FrameRange>& range, int64_t windowMinutes,
                           int64_t eventUnixTime, const std::string& machine) {
  std::string text = sceneLine(sceneFileName);
  text += "\nRENDER STALLED? No word for about ";
  appendNumber(text, std::max<int64_t>(windowMinutes, 0), 1);
  text += " min, last seen at frame ";
  text += std::to_string(moment.frame);
  if (framesAfter(moment, range)) {
    text += " of ";
    text += std::to_string(range->last);
  }
  appendDate(text, eventUnixTime);
  if (!machine.empty()) {
    text += '\n';
    appendAsText(text, machine);
  }
  return text;
}

std::string goingAgainText(const char* sceneFileName, int32_t frame, int64_t silentMinutes) {
  std::string text = sceneLine(sceneFileName);
  text += "\nRender going again: frame ";
  text += std::to_string(frame);
  text += " rendered after ";
  appendNumber(text, std::max<int64_t>(silentMinutes, 0), 1);
  text += " min";
  return text;
}

std::string falseAlarmText(const char* sceneFileName, const std::optional<int32_t>& abortedAtFrame,
                           int64_t endUnixTime) {
  std::string text = sceneLine(sceneFileName);
  if (abortedAtFrame) {
    text += "\nFalse alarm: the render was aborted at frame ";
    text += std::to_string(*abortedAtFrame);
  } else {
    text += "\nFalse alarm: the render completed";
  }
  appendDate(text, endUnixTime);
  return text;
}

std::string withMentions(std::string text, const std::string& mentions) {
  if (mentions.empty()) return text;
  text += '\n';
  text += mentions;
  return text;
}

std::string progressEndText(const char* sceneFileName, const RenderMoment& moment) {
  std::string text = moment.abortedAtFrame
                         ? composeAbortedMessage(sceneFileName, *moment.abortedAtFrame)
                         : composeMessage(HOST_EVENT_RENDER_DONE, sceneFileName, 0);
  if (moment.renderTime) {
    text += ": ";
    appendFramesIn(text, moment);
  }
  return text;
}

}  // namespace pingwell
