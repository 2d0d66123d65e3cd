#pragma once
// Compact JSON text of a value, as nlohmann::json::dump() writes it, except
// that strings are never validated as UTF-8: bytes of 128 and above are
// copied as they are. dump() throws on such bytes; message texts and names
// are plain bytes to us, so they must pass through.
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace pingwell {

std::string compactJson(const nlohmann::json& value);

// compactJson(value) appended to `out`.
void appendCompactJson(std::string& out, const nlohmann::json& value);

// The text of a JSON string between its quotes (escapes written, quotes
// not) appended to `out`.
void appendJsonStringContent(std::string& out, std::string_view text);

}  // namespace pingwell
