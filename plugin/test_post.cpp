#include "plugin/test_post.h"

#include <curl/curl.h>

#include <exception>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "plugin/kept_services.h"
#include "plugin/message_text.h"
#include "plugin/posting.h"
#include "slack/diagnostics.h"

namespace pingwell {

namespace {

constexpr const char* kNotSent = "Test message not sent";

// The artist's words for a transfer that failed; libcurl's own text for the
// rarer kinds.
std::string transferFailure(int curlCode, const char* what) {
  switch (curlCode) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return "could not find the service on the network (no connection, or a proxy in the way?)";
    case CURLE_COULDNT_CONNECT:
      return "could not connect to the service (no connection, or a firewall in the way?)";
    case CURLE_OPERATION_TIMEDOUT:
      return "the service did not answer in time (time-out)";
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_CRL_BADFILE:
      return "certificate problem: the connection to the service could not be trusted";
    default:
      return what;
  }
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
  text += shownSceneName(sceneFileName);
  return text;
}

TestOutcome sendTestMessage(const std::string& token, const std::string& userName,
                            const std::string& channel) noexcept {
  try {
    if (token.empty()) return refused("the Token field is empty");
    if (userName.empty()) return refused("the Name field is empty");
    if (channel.empty()) return refused("the Channel field is empty");
    const HostSceneInfo* scene = keptServices().sceneInfo;
    const std::string text = composeTestMessage(scene ? scene->filename : nullptr);
    int transferResult = 0;
    TestOutcome outcome;
    try {
      const PostResult posted =
          postMessageAs({token, userName, channel}, PostKind::TestMessage, text, transferResult);
      const nlohmann::json& reply = posted.reply;
      if (reply.is_object() && reply.contains("ok") && reply["ok"] == true) {
        outcome.sent = true;
        outcome.title = maskSecret("Test message sent to " + channel, token);
        return outcome;
      }
      // The service said no: its error code says why (invalid_auth,
      // channel_not_found, not_in_channel, ...).
      if (reply.is_object() && reply.contains("error") && reply["error"].is_string())
        outcome = refused(reply["error"].get<std::string>());
      else
        outcome = refused("the service's reply did not say the message was posted");
    } catch (const nlohmann::json::exception&) {
      outcome = refused("the service's reply could not be read");
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& failure) {
      // A transfer that went through but still threw: the reply said no
      // without naming why.
      outcome = refused(transferResult == CURLE_OK
                            ? "the service's reply did not say the message was posted"
                            : transferFailure(transferResult, failure.what()));
    }
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
    const HostMessageFuncs* messages = keptServices().infoMessages;
    if (outcome.sent) {
      if (messages != nullptr && messages->info != nullptr)
        messages->info(outcome.title.c_str(), nullptr);
      writeDiagnostic(outcome.title);
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
