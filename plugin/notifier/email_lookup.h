#pragma once
// "Notify" read with its e-mail addresses looked up (users.lookupByEmail):
// each address once per process for a token.
#include <string>
#include <vector>

#include "plugin/notifier/mentions.h"
#include "plugin/posting/posting.h"

namespace pingwell {

// The mentions of `notify` (see readMentions), an e-mail address looked up
// with the token of `settings` as a call of `kind`. What the service
// answers for an address, found or not (a token without users:read.email
// is refused with missing_scope), is kept for the rest of the process, so
// its line on standard error comes once; a call that did not reach the
// service is tried again next time. Throws only std::bad_alloc.
std::vector<Mention> lookUpMentions(const PostSettings& settings, PostKind kind,
                                    const std::string& notify);

// The mentions of `notify` as far as the service's answers for its e-mail
// addresses are known with the token of `settings` (lookUpMentions keeps
// them); an address not looked up yet stays text. Asks nothing. Throws only
// std::bad_alloc.
std::vector<Mention> knownMentions(const PostSettings& settings, const std::string& notify);

}  // namespace pingwell
