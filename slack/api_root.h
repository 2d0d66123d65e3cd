#pragma once
// Address of the Web API. A method name is appended with no separator:
// kWebApiRoot + "chat.postMessage".
namespace pingwell {
inline constexpr const char* kWebApiRoot = "https://slack.com/api/";
}
