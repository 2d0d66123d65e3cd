#pragma once
// The file methods of the client: an upload in three calls. The service
// hands out an address for the bytes (files.getUploadURLExternal), the bytes
// go there without the token, and the upload is completed into a channel
// (files.completeUploadExternal).
#include <cstddef>
#include <string>
#include <string_view>

#include "slack/api_request.h"
#include "slack/post_outcome.h"

namespace pingwell {

class SlackClient;

class FilesApi {
 public:
  explicit FilesApi(SlackClient& client) noexcept;
  FilesApi(const FilesApi&) = delete;
  FilesApi& operator=(const FilesApi&) = delete;

  // files.getUploadURLExternal with `filename` and `length`; sent, the
  // outcome has the upload address and the file's ID.
  PostOutcome getUploadUrl(const std::string& filename, size_t length);

  // The bytes, raw, POSTed to `uploadUrl`: only an https address is taken,
  // and neither the body nor a header carries the token.
  PostOutcome upload(const std::string& uploadUrl, std::string_view bytes);

  // files.completeUploadExternal: the file `fileId`, titled `title`, shown in
  // the channel whose ID is `channelId`, in the thread of `threadTs` when
  // that is not empty.
  PostOutcome completeUpload(const std::string& fileId, const std::string& title,
                             const std::string& channelId, const std::string& threadTs);

 private:
  SlackClient& client_;
  ApiRequest request_;
};

}  // namespace pingwell
