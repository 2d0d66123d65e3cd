#pragma once
// The parsed document of a Web API reply, free of I/O.
#include <nlohmann/json.hpp>
#include <string>

namespace pingwell {

// Exactly what nlohmann::json::parse(text) returns or throws. Replies of
// plain shape (ASCII strings with simple escapes, integers, true, false,
// null, a few levels of objects and arrays) are read by a small reader of
// our own that allocates only the document; every other text, including
// every text that is not JSON, goes to nlohmann::json::parse itself.
nlohmann::json parseReply(const std::string& text);

}  // namespace pingwell
