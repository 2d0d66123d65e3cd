#pragma once
// What a Web API reply says about the call, free of I/O.
#include <nlohmann/json.hpp>
#include <string>

namespace pingwell {

struct ReplyVerdict {
  enum class Kind {
    Passed,        // "ok" is the JSON value true, or the reply has no "ok" to test
    NamedError,    // "ok" is not true and the reply has an "error" member
    UnknownError,  // "ok" is not true and there is no "error"
  };
  Kind kind = Kind::Passed;
  std::string errorJson;  // compact JSON text of "error" for NamedError
};

ReplyVerdict judgeReply(const nlohmann::json& reply);

}  // namespace pingwell
