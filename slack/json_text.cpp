#include "slack/json_text.h"

namespace pingwell {
namespace {

void appendString(std::string& out, const std::string& text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out.push_back('"');
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out.append("\\\""); break;
      case '\\': out.append("\\\\"); break;
      case '\b': out.append("\\b"); break;
      case '\f': out.append("\\f"); break;
      case '\n': out.append("\\n"); break;
      case '\r': out.append("\\r"); break;
      case '\t': out.append("\\t"); break;
      default:
        if (byte < 0x20) {
          out.append("\\u00");
          out.push_back(kHex[byte >> 4]);
          out.push_back(kHex[byte & 0x0F]);
        } else {
          out.push_back(c);  // bytes of 128 and above included, valid UTF-8 or not
        }
    }
  }
  out.push_back('"');
}

void appendValue(std::string& out, const nlohmann::json& value) {
  switch (value.type()) {
    case nlohmann::json::value_t::string:
      appendString(out, value.get_ref<const std::string&>());
      break;
    case nlohmann::json::value_t::object: {
      out.push_back('{');
      bool first = true;
      for (const auto& member : value.items()) {
        if (!first) out.push_back(',');
        first = false;
        appendString(out, member.key());
        out.push_back(':');
        appendValue(out, member.value());
      }
      out.push_back('}');
      break;
    }
    case nlohmann::json::value_t::array: {
      out.push_back('[');
      bool first = true;
      for (const auto& element : value) {
        if (!first) out.push_back(',');
        first = false;
        appendValue(out, element);
      }
      out.push_back(']');
      break;
    }
    default:
      out.append(value.dump());  // numbers, bools, null, binary: no strings inside
  }
}

}  // namespace

std::string compactJson(const nlohmann::json& value) {
  std::string out;
  appendValue(out, value);
  return out;
}

}  // namespace pingwell
