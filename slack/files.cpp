#include "slack/files.h"

#include <nlohmann/json.hpp>

#include "slack/client.h"
#include "slack/json_text.h"

namespace pingwell {

FilesApi::FilesApi(SlackClient& client) noexcept : client_(client) {}

PostOutcome FilesApi::getUploadUrl(const std::string& filename, size_t length) {
  request_.webApi("files.getUploadURLExternal");
  request_.add("filename", filename);
  request_.add("length", std::to_string(length));
  return client_.call(request_);
}

PostOutcome FilesApi::upload(const std::string& uploadUrl, std::string_view bytes) {
  request_.upload(uploadUrl, bytes);
  return client_.call(request_);
}

PostOutcome FilesApi::completeUpload(const std::string& fileId, const std::string& title,
                                     const std::string& channelId, const std::string& threadTs) {
  request_.webApi("files.completeUploadExternal");
  const nlohmann::json files = nlohmann::json::array({{{"id", fileId}, {"title", title}}});
  request_.add("files", compactJson(files));
  request_.add("channel_id", channelId);
  if (!threadTs.empty()) request_.add("thread_ts", threadTs);
  return client_.call(request_);
}

}  // namespace pingwell
