#include "plugin/previews/preview_upload.h"

#include <cstdio>
#include <stdexcept>
#include <vector>

#include "plugin/posting/scene_name.h"
#include "slack/client.h"
#include "slack/diagnostics.h"

namespace pingwell {

namespace {

constexpr std::string_view kGetUploadUrl = "files.getUploadURLExternal";
constexpr std::string_view kComplete = "files.completeUploadExternal";

std::string_view sceneStem(const char* sceneFileName) {
  if (sceneFileName == nullptr || *sceneFileName == '\0') return "preview";
  std::string_view name = sceneFileName;
  const size_t folder = name.find_last_of("/\\");
  if (folder != std::string_view::npos) name.remove_prefix(folder + 1);
  const size_t dot = name.rfind('.');
  if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
  return name.empty() ? "preview" : name;
}

}  // namespace

std::string previewFileName(const char* sceneFileName, int frame) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%04d", frame);
  std::string name(sceneStem(sceneFileName));
  name += '_';
  name += digits;
  name += ".jpg";
  return name;
}

bool postPreview(const PostSettings& settings, PostKind kind, const FramePreview& preview,
                 const char* sceneFileName, const std::string& channelId,
                 std::string_view threadTs) {
  const std::string title =
      std::string(shownSceneName(sceneFileName)) + " frame " + std::to_string(preview.frame);
  const std::string what = "preview of " + title;
  std::vector<uint8_t> jpeg;
  try {
    jpeg = encodePreviewJpeg(preview.pixels);
  } catch (const std::runtime_error& failure) {
    writeDiagnostic("error " + what + " could not be encoded: " + failure.what());
    return false;
  }
  const std::string fileName = previewFileName(sceneFileName, preview.frame);
  const PostResult address = callAs(settings, kind, kGetUploadUrl, what, [&](SlackClient& client) {
    return client.files.getUploadUrl(fileName, jpeg.size());
  });
  if (!address.outcome.sent()) return false;  // sent: with an address the bytes may go to
  const std::string_view bytes(reinterpret_cast<const char*>(jpeg.data()), jpeg.size());
  const PostResult upload = callAs(settings, kind, "", what, [&](SlackClient& client) {
    return client.files.upload(address.outcome.uploadUrl, bytes);
  });
  if (!upload.outcome.sent()) return false;
  const std::string thread(threadTs);
  const PostResult done = callAs(settings, kind, kComplete, what, [&](SlackClient& client) {
    return client.files.completeUpload(address.outcome.fileId, title, channelId, thread);
  });
  return done.outcome.sent();
}

std::string previewCheckText(const PostSettings& settings) {
  const PostResult result =
      callAs(settings, PostKind::TestMessage, kGetUploadUrl, "preview check",
             [&](SlackClient& client) { return client.files.getUploadUrl("pingwell-check.jpg", 1); });
  const PostOutcome& outcome = result.outcome;
  if (outcome.sent()) return "Previews: can be posted";
  if (!outcome.hint.empty()) return "Previews: " + outcome.hint;
  if (outcome.kind == PostOutcome::Kind::ServiceError) return "Previews: " + outcome.errorName;
  return "Previews: the service could not be asked (" + outcome.failure + ")";
}

}  // namespace pingwell
