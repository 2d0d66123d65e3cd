#include "plugin/notifier/mentions.h"

#include "plugin/posting/message_markup.h"

namespace pingwell {

namespace {

bool isIdCharacter(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// The service's IDs: a letter of their kind, then capitals and digits, nine
// characters or more in all.
bool isIdOfKind(std::string_view entry, std::string_view kinds) {
  if (entry.size() < 9 || entry.size() > 21 || kinds.find(entry.front()) == kinds.npos)
    return false;
  for (const char c : entry)
    if (!isIdCharacter(c)) return false;
  return true;
}

bool isWrittenMention(std::string_view entry) {
  if (entry.size() < 4 || entry.back() != '>') return false;
  if (entry.substr(0, 2) != "<@" && entry.substr(0, 2) != "<!") return false;
  return entry.substr(1, entry.size() - 2).find_first_of("<>") == entry.npos;
}

// Something, "@", something with a dot in it, and no blank anywhere.
bool isEmailAddress(std::string_view entry) {
  const size_t at = entry.find('@');
  if (at == entry.npos || at == 0 || entry.find('@', at + 1) != entry.npos) return false;
  const std::string_view domain = entry.substr(at + 1);
  const size_t dot = domain.find('.');
  return dot != domain.npos && dot > 0 && dot + 1 < domain.size() &&
         entry.find_first_of("<>&") == entry.npos;
}

Mention mentionOf(std::string_view entry, const EmailLookupFunction& lookup) {
  Mention mention;
  mention.entry = entry;
  if (isIdOfKind(entry, "UW")) {
    mention.text = "<@" + mention.entry + ">";
  } else if (isIdOfKind(entry, "S")) {
    mention.text = "<!subteam^" + mention.entry + ">";
  } else if (entry == "@here" || entry == "@channel") {
    mention.text = "<!" + mention.entry.substr(1) + ">";
  } else if (isWrittenMention(entry)) {
    mention.text = mention.entry;
  } else if (isEmailAddress(entry) && lookup) {
    const EmailLookup found = lookup(mention.entry);
    if (!found.userId.empty() && found.problem.empty()) {
      mention.text = "<@" + found.userId + ">";
    } else {
      appendAsText(mention.text, entry);
      mention.problem = found.problem.empty() ? "not found" : found.problem;
    }
  } else {
    appendAsText(mention.text, entry);
  }
  return mention;
}

}  // namespace

std::vector<Mention> readMentions(std::string_view notify, const EmailLookupFunction& lookup) {
  std::vector<Mention> mentions;
  constexpr std::string_view kSeparators = " \t\r\n,";
  size_t at = 0;
  while (at < notify.size()) {
    const size_t start = notify.find_first_not_of(kSeparators, at);
    if (start == notify.npos) break;
    size_t end = notify.find_first_of(kSeparators, start);
    if (end == notify.npos) end = notify.size();
    mentions.push_back(mentionOf(notify.substr(start, end - start), lookup));
    at = end;
  }
  return mentions;
}

std::string mentionsLine(const std::vector<Mention>& mentions) {
  std::string line;
  for (const Mention& mention : mentions) {
    if (!line.empty()) line += ' ';
    line += mention.text;
  }
  return line;
}

std::string notifySummary(const std::vector<Mention>& mentions) {
  if (mentions.empty()) return {};
  std::string summary = "Notify: ";
  bool first = true;
  for (const Mention& mention : mentions) {
    if (!first) summary += ", ";
    first = false;
    if (mention.problem.empty()) {
      summary += mention.text;
    } else {
      summary += mention.entry + " not found (" + mention.problem + ")";
    }
  }
  return summary;
}

}  // namespace pingwell
