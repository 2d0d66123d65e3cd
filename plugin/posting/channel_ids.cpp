#include "plugin/posting/channel_ids.h"

#include <map>
#include <mutex>
#include <utility>

#include "plugin/posting/kept_to_process_end.h"

namespace pingwell {

namespace {

using ChannelKey = std::pair<std::string, std::string>;  // token, channel

struct ChannelIds {
  std::mutex mutex;
  std::map<ChannelKey, std::string> ids;
};

// Written by the posting thread, which may outlive the static destructors.
ChannelIds& channelIds() {
  static KeptToProcessEnd<ChannelIds> ids;
  return ids.get();
}

}  // namespace

void rememberChannelId(const std::string& token, const std::string& channel,
                       const std::string& channelId) {
  ChannelIds& cache = channelIds();
  const std::lock_guard<std::mutex> lock(cache.mutex);
  cache.ids[ChannelKey(token, channel)] = channelId;
}

std::string knownChannelId(const std::string& token, const std::string& channel) {
  ChannelIds& cache = channelIds();
  const std::lock_guard<std::mutex> lock(cache.mutex);
  const auto it = cache.ids.find(ChannelKey(token, channel));
  return it != cache.ids.end() ? it->second : std::string();
}

}  // namespace pingwell
