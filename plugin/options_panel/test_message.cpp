#include "plugin/options_panel/test_message.h"

#include <exception>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "plugin/notifier/email_lookup.h"
#include "plugin/previews/frame_previews.h"
#include "plugin/host_api/host_services.h"
#include "plugin/posting/message_markup.h"
#include "plugin/posting/scene_name.h"
#include "plugin/posting/posting.h"
#include "plugin/previews/preview_upload.h"
#include "slack/diagnostics.h"

namespace pingwell {

namespace {

constexpr const char* kNotSent = "Test message not sent";

// The artist's words for a post that did not go through; the client's own
// text for the rarer kinds.
std::string notSentReason(const PostOutcome& outcome) {
  using Kind = PostOutcome::Kind;
  switch (outcome.kind) {
    case Kind::ServiceError:
      // The service said no: its error code says why (invalid_auth,
      // channel_not_found, not_in_channel, ...).
      return outcome.errorName;
    case Kind::UnconfirmedReply:
      return "the service's reply did not say the message was posted";
    case Kind::UnreadableReply:
      return "the service's reply could not be read";
    case Kind::NameNotFound:
      return "could not find the service on the network (no connection, or a proxy in the way?)";
    case Kind::Unreachable:
      return "could not connect to the service (no connection, or a firewall in the way?)";
    case Kind::TimedOut:
      return "the service did not answer in time (time-out)";
    case Kind::TlsFailure:
    case Kind::CertificateFailure:
      return "certificate problem: the connection to the service could not be trusted";
    case Kind::Sent:
    case Kind::NotSent:
    case Kind::UnusableReply:  // an upload address, never a message's reply
    case Kind::TransferFailure:
      break;
  }
  return outcome.failure;
}

// The bot token's scopes the plug-in uses, in the order the artist is told
// of them, each with what it is for.
struct NeededScope {
  std::string_view name;
  std::string_view purpose;
};
constexpr NeededScope kNeededScopes[] = {
    {"chat:write", "messages"},
    {"chat:write.customize", "the poster name"},
    {"files:write", "previews"},
    {"users:read.email", "e-mail addresses in Notify"},
};
constexpr std::string_view kFilesWrite = "files:write";

// Whether the comma-separated list `granted` names `scope`.
bool grants(std::string_view granted, std::string_view scope) {
  while (!granted.empty()) {
    const size_t comma = granted.find(',');
    std::string_view entry = granted.substr(0, comma);
    granted = comma == std::string_view::npos ? std::string_view{} : granted.substr(comma + 1);
    while (!entry.empty() && entry.front() == ' ') entry.remove_prefix(1);
    while (!entry.empty() && entry.back() == ' ') entry.remove_suffix(1);
    if (entry == scope) return true;
  }
  return false;
}

// "The token lacks files:write (previews), users:read.email (...)": each
// needed scope `granted` does not name, with its use; empty when it names
// them all.
std::string missingScopesText(std::string_view granted) {
  std::string text;
  for (const NeededScope& scope : kNeededScopes) {
    if (grants(granted, scope.name)) continue;
    text += text.empty() ? "The token lacks " : ", ";
    text.append(scope.name).append(" (").append(scope.purpose).append(")");
  }
  return text;
}

// Whether previews can be posted: told by the reply's scopes when it had
// them, else asked of the service with an upload address.
std::string previewsText(const std::optional<std::string>& granted, const PostSettings& settings) {
  if (!granted) return previewCheckText(settings);
  return grants(*granted, kFilesWrite) ? "Previews: can be posted"
                                       : "Previews: the token lacks files:write";
}

TestOutcome refused(std::string reason) {
  TestOutcome outcome;
  outcome.title = kNotSent;
  outcome.reason = std::move(reason);
  return outcome;
}

}  // namespace

std::string composeTestMessage(const char* sceneFileName) {
  std::string text = kTestMessageHeading;
  text += '\n';
  appendAsText(text, shownSceneName(sceneFileName));
  return text;
}

TestOutcome sendTestMessage(const std::string& token, const std::string& userName,
                            const std::string& channel, const std::string& notify) noexcept {
  try {
    if (token.empty()) return refused("the Token field is empty");
    if (userName.empty()) return refused("the Name field is empty");
    if (channel.empty()) return refused("the Channel field is empty");
    const HostSceneInfo* scene = hostServices().sceneInfo;
    const std::string text = composeTestMessage(scene ? scene->filename : nullptr);
    const PostSettings settings{token, userName, channel};
    const PostResult posted = postMessageAs(settings, PostKind::TestMessage, text);
    TestOutcome outcome;
    if (posted.outcome.sent()) {
      outcome.sent = true;
      outcome.title = maskSecret("Test message sent to " + channel, token);
      const std::optional<std::string>& granted = posted.outcome.grantedScopes;
      if (granted) outcome.scopes = missingScopesText(*granted);
      if (FramePreviews::instance().filterApplied())
        outcome.previews = maskSecret(previewsText(granted, settings), token);
      outcome.notify = maskSecret(
          notifySummary(lookUpMentions(settings, PostKind::TestMessage, notify)),
          token);
      return outcome;
    }
    outcome = refused(notSentReason(posted.outcome));
    outcome.reason = maskSecret(std::move(outcome.reason), token);
    return outcome;
  } catch (...) {
    TestOutcome outcome;
    outcome.title = kNotSent;
    outcome.reason = "out of memory";
    return outcome;
  }
}

void showTestOutcome(const TestOutcome& outcome) noexcept {
  try {
    const HostMessageFuncs* messages = hostServices().infoMessages;
    if (outcome.sent) {
      std::string second;
      for (const std::string* part : {&outcome.scopes, &outcome.previews, &outcome.notify}) {
        if (!part->empty()) second += (second.empty() ? "" : "; ") + *part;
      }
      if (messages != nullptr && messages->info != nullptr)
        messages->info(outcome.title.c_str(), second.empty() ? nullptr : second.c_str());
      writeDiagnostic(second.empty() ? outcome.title : outcome.title + "; " + second);
    } else {
      if (messages != nullptr && messages->error != nullptr)
        messages->error(outcome.title.c_str(), outcome.reason.c_str());
      writeDiagnostic("error " + outcome.title + ": " + outcome.reason);
    }
  } catch (...) {
    writeDiagnostic("error out of memory");
  }
}

}  // namespace pingwell
