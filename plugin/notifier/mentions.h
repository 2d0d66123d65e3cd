#pragma once
// Who a render's last messages mention: the "Notify" field read into the
// service's mention forms. Free of I/O: an e-mail address is looked up
// through the function the caller hands in.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace pingwell {

// What looking up an e-mail address came to: the member's ID, or why there
// is none (the service's error, such as "users_not_found" or
// "missing_scope", or the failure of the call).
struct EmailLookup {
  std::string userId;
  std::string problem;
};
using EmailLookupFunction = std::function<EmailLookup(const std::string& address)>;

// One entry of the field as it goes into a text.
struct Mention {
  std::string text;     // the mention, or the entry as text
  std::string entry;    // the entry as typed
  std::string problem;  // an address that could not be looked up: why
};

// The entries of `notify` (separated by blanks or commas), each as the
// service reads it:
//   a member ID (U or W, then capitals and digits)  -> "<@U0ANNA0001>"
//   a user group's ID (S, then capitals and digits) -> "<!subteam^S0WRANGL01>"
//   "@here", "@channel"                            -> "<!here>", "<!channel>"
//   a mention already written so ("<@…>", "<!…>")  -> kept
//   an e-mail address -> "<@ID>" when `lookup` finds it, else the address as
//                        text, with the problem
//   anything else     -> as typed, with "&", "<", ">" escaped.
// Throws only std::bad_alloc and what `lookup` throws.
std::vector<Mention> readMentions(std::string_view notify, const EmailLookupFunction& lookup);

// The line that ends a message: the mentions separated by single blanks;
// empty for none.
std::string mentionsLine(const std::vector<Mention>& mentions);

// What "Send Test Message" says of them: "Notify: <@U0ANNA0001>, <!here>",
// an address not found as "bob@studio.com not found (users_not_found)";
// empty for none.
std::string notifySummary(const std::vector<Mention>& mentions);

}  // namespace pingwell
