#pragma once
// The lines posting writes about a message: the message quoted on one line,
// and why it was skipped. None depends on the locale.
#include <string>

#include "plugin/posting/backoff.h"

namespace pingwell {

// `message` on one line, as the diagnostic lines quote it.
std::string messageOnOneLine(const std::string& message);

// The diagnostic line (without its prefix) for skipping `message`: the
// message on one line, why and since when, and when the next try comes.
std::string skipNote(const std::string& message, const SkipReason& reason);

}  // namespace pingwell
