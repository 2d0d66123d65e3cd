#include "plugin/notifier/frame_time_chart.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <nlohmann/json.hpp>
#include <string_view>

#include "slack/json_text.h"

namespace pingwell {

namespace {

// What the service takes: a section's text, a category's label (the
// characters, not the bytes, of UTF-8).
constexpr std::size_t kMostSectionCharacters = 3000;
constexpr std::size_t kMostLabelCharacters = 20;
// From this longest frame on, the chart counts in minutes.
constexpr double kMinutesFrom = 120.0;
constexpr const char* kEnDash = "\xE2\x80\x93";

std::size_t characters(std::string_view text) noexcept {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

// One decimal, as the chart shows it.
double oneDecimal(double value) { return std::round(value * 10.0) / 10.0; }

nlohmann::json point(const std::string& label, double value) {
  return {{"label", label}, {"value", oneDecimal(value)}};
}

nlohmann::json series(const char* name, nlohmann::json points) {
  return {{"name", name}, {"data", std::move(points)}};
}

}  // namespace

void FrameTimeLog::add(int32_t frame, PluginClock::duration time) {
  times_.push_back({frame, std::chrono::duration<float>(time).count()});
}

ChartTimes FrameTimeLog::forChart() const {
  if (times_.size() < 2) return nullptr;
  return std::make_shared<const FrameTimes>(times_);
}

std::string frameTimeChartBlocks(const std::string& text, const FrameTimes& times) {
  const std::size_t n = times.size();
  if (n < 2 || text.empty() || characters(text) > kMostSectionCharacters) return {};
  double longestFrame = 0.0;
  for (const FrameTime& time : times) {
    if (!std::isfinite(time.seconds) || time.seconds < 0.0f) return {};
    longestFrame = std::max(longestFrame, static_cast<double>(time.seconds));
  }
  const bool inMinutes = longestFrame >= kMinutesFrom;
  const double unit = inMinutes ? 60.0 : 1.0;
  const std::size_t perBar = (n + kMostChartBars - 1) / kMostChartBars;

  nlohmann::json categories = nlohmann::json::array();
  nlohmann::json averages = nlohmann::json::array();
  nlohmann::json longest = nlohmann::json::array();
  for (std::size_t first = 0; first < n; first += perBar) {
    const std::size_t end = std::min(first + perBar, n);
    double sum = 0.0;
    double most = 0.0;
    for (std::size_t i = first; i < end; ++i) {
      sum += times[i].seconds;
      most = std::max(most, static_cast<double>(times[i].seconds));
    }
    std::string label = std::to_string(times[first].frame);
    if (end - first > 1) label.append(kEnDash).append(std::to_string(times[end - 1].frame));
    if (characters(label) > kMostLabelCharacters ||
        std::find(categories.begin(), categories.end(), label) != categories.end())
      return {};
    averages.push_back(point(label, sum / static_cast<double>(end - first) / unit));
    longest.push_back(point(label, most / unit));
    categories.push_back(std::move(label));
  }

  nlohmann::json allSeries = nlohmann::json::array();
  if (perBar == 1) {
    allSeries.push_back(series("frame time", std::move(averages)));
  } else {
    allSeries.push_back(series("average", std::move(averages)));
    allSeries.push_back(series("longest", std::move(longest)));
  }
  const nlohmann::json section = {{"type", "section"},
                                  {"text", {{"type", "mrkdwn"}, {"text", text}}}};
  const nlohmann::json chart = {{"type", "data_visualization"},
       {"title", "Frame times"},
       {"chart",
        {{"type", "bar"},
         {"series", std::move(allSeries)},
         {"axis_config",
          {{"categories", std::move(categories)},
           {"x_label", "frame"},
           {"y_label", inMinutes ? "minutes" : "seconds"}}}}}};
  return compactJson(nlohmann::json::array({section, chart}));
}

}  // namespace pingwell
