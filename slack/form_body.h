#pragma once
// The request body of a Web API call, free of I/O so it can be tested and
// fuzzed on its own.
#include <nlohmann/json.hpp>
#include <string>

namespace pingwell {

// The parameters of one Web API call: a JSON object, one member a parameter.
// null (or an empty array) means no parameters.
using WebApiParams = nlohmann::json;

// name=value pairs in ascending byte order of the names, joined by "&", then
// "token=" and the token. A value is its compact JSON text, with the quotes
// of a string taken off. Nothing is percent-encoded here: callers encode what
// must be encoded. Any value other than an object, null or an empty array
// makes nlohmann::json throw invalid_iterator.
std::string formBody(const WebApiParams& params, const std::string& token);

// formBody written into `body`, which is cleared first: a buffer kept from
// one call to the next needs no new memory once it has held a body as long.
void writeFormBody(std::string& body, const WebApiParams& params, const std::string& token);

}  // namespace pingwell
