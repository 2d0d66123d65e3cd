#include "plugin/notifier/email_lookup.h"

#include <map>
#include <mutex>
#include <optional>
#include <utility>

#include "slack/api_request.h"
#include "slack/client.h"

namespace pingwell {

namespace {

constexpr std::string_view kLookupByEmail = "users.lookupByEmail";

// The service's answers, by token and address. Instances on several threads
// (the render, the options panel) share them.
struct KnownAnswers {
  std::mutex mutex;
  std::map<std::pair<std::string, std::string>, EmailLookup> answers;
};

KnownAnswers& knownAnswers() {
  static KnownAnswers known;
  return known;
}

std::optional<EmailLookup> knownAnswer(const std::string& token, const std::string& address) {
  KnownAnswers& known = knownAnswers();
  const std::lock_guard<std::mutex> lock(known.mutex);
  const auto it = known.answers.find(std::make_pair(token, address));
  if (it == known.answers.end()) return std::nullopt;
  return it->second;
}

EmailLookup lookUp(const PostSettings& settings, PostKind kind, const std::string& address) {
  if (std::optional<EmailLookup> answer = knownAnswer(settings.token, address)) return *answer;
  KnownAnswers& known = knownAnswers();
  const auto key = std::make_pair(settings.token, address);
  ApiRequest request;
  request.webApi(kLookupByEmail);
  request.add("email", address);
  const PostResult result =
      callAs(settings, kind, kLookupByEmail, "lookup of " + address,
             [&](SlackClient& client) { return client.call(request); });
  const PostOutcome& outcome = result.outcome;
  EmailLookup answer;
  if (outcome.sent() && !outcome.userId.empty()) {
    answer.userId = outcome.userId;
  } else if (outcome.kind == PostOutcome::Kind::ServiceError) {
    answer.problem = outcome.errorName;
  } else {
    // Not asked, or no answer: tried again next time.
    answer.problem = result.skipped ? "not asked: paused" : "the service could not be asked";
    return answer;
  }
  const std::lock_guard<std::mutex> lock(known.mutex);
  known.answers.emplace(key, answer);
  return answer;
}

}  // namespace

std::vector<Mention> lookUpMentions(const PostSettings& settings, PostKind kind,
                                    const std::string& notify) {
  if (notify.empty()) return {};
  return readMentions(notify, [&](const std::string& address) {
    return lookUp(settings, kind, address);
  });
}

std::vector<Mention> knownMentions(const PostSettings& settings, const std::string& notify) {
  if (notify.empty()) return {};
  return readMentions(notify, [&](const std::string& address) {
    EmailLookup unknown;
    unknown.problem = "not looked up";
    return knownAnswer(settings.token, address).value_or(unknown);
  });
}

}  // namespace pingwell
