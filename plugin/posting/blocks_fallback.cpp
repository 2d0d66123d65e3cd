#include "plugin/posting/blocks_fallback.h"

#include <algorithm>
#include <cstddef>
#include <deque>
#include <mutex>

#include "slack/client.h"
#include "slack/diagnostics.h"

namespace pingwell {

namespace {

constexpr std::string_view kPostMessage = "chat.postMessage";
constexpr std::string_view kUpdate = "chat.update";
// The tokens remembered; past this many the first one is forgotten (and
// its next message with blocks finds out again).
constexpr std::size_t kMostTokens = 64;

std::mutex& tokensMutex() {
  static std::mutex mutex;
  return mutex;
}

// The tokens whose blocks the service refused. Guarded by tokensMutex().
std::deque<std::string>& tokensWithoutBlocks() {
  static std::deque<std::string> tokens;
  return tokens;
}

void stopBlocks(const std::string& token) {
  const std::lock_guard<std::mutex> lock(tokensMutex());
  std::deque<std::string>& tokens = tokensWithoutBlocks();
  if (std::find(tokens.begin(), tokens.end(), token) != tokens.end()) return;
  if (tokens.size() >= kMostTokens) tokens.pop_front();
  tokens.push_back(token);
}

bool refusesBlocks(const PostOutcome& outcome) {
  return outcome.kind == PostOutcome::Kind::ServiceError &&
         (outcome.errorName == "invalid_blocks" || outcome.errorName == "invalid_blocks_format");
}

// One call with blocks through `send(blocks)`; when the service refuses
// them, the token sends none from now on, a line says so, and the same call
// goes once more without them.
template <typename Send>
PostOutcome withBlocksOrWithout(const std::string& token, std::string_view blocks, Send&& send) {
  PostOutcome outcome = send(blocks);
  if (!refusesBlocks(outcome)) return outcome;
  stopBlocks(token);
  writeDiagnostic(maskSecret(outcomeLine(outcome) +
                                 ": sent again without its chart; no more charts with this token",
                             token));
  return send(std::string_view());
}

}  // namespace

bool tokenSendsBlocks(const std::string& token) {
  const std::lock_guard<std::mutex> lock(tokensMutex());
  const std::deque<std::string>& tokens = tokensWithoutBlocks();
  return std::find(tokens.begin(), tokens.end(), token) == tokens.end();
}

PostResult postMessageWithBlocks(const PostSettings& settings, PostKind kind,
                                 const std::string& text, std::string_view blocks,
                                 const ThreadPlace& place, RenderEnded renderEnded) {
  if (blocks.empty() || !tokenSendsBlocks(settings.token))
    return postMessageAs(settings, kind, text, place, renderEnded);
  return callAs(settings, kind, kPostMessage, text, [&](SlackClient& client) {
    return withBlocksOrWithout(settings.token, blocks, [&](std::string_view with) {
      return sendChatMessage(client, settings, text, place, with);
    });
  }, renderEnded);
}

PostResult editMessageWithBlocks(const PostSettings& settings, PostKind kind,
                                 const std::string& channelId, const std::string& ts,
                                 const std::string& text, std::string_view blocks) {
  if (blocks.empty() || !tokenSendsBlocks(settings.token))
    return editMessageAs(settings, kind, channelId, ts, text);
  return callAs(settings, kind, kUpdate, text, [&](SlackClient& client) {
    return withBlocksOrWithout(settings.token, blocks, [&](std::string_view with) {
      return client.chat.updateMessage(channelId, ts, text, with);
    });
  });
}

}  // namespace pingwell
