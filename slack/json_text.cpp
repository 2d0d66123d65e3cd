#include "slack/json_text.h"

#include <vector>

namespace pingwell {

void appendJsonStringContent(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  // Runs of bytes that stand for themselves go in one piece.
  size_t plainFrom = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte >= 0x20 && byte != '"' && byte != '\\') continue;  // 128 and above included
    out.append(text, plainFrom, i - plainFrom);
    plainFrom = i + 1;
    switch (byte) {
      case '"':
        out.append("\\\"");
        break;
      case '\\':
        out.append("\\\\");
        break;
      case '\b':
        out.append("\\b");
        break;
      case '\f':
        out.append("\\f");
        break;
      case '\n':
        out.append("\\n");
        break;
      case '\r':
        out.append("\\r");
        break;
      case '\t':
        out.append("\\t");
        break;
      default: {
        const char escaped[6] = {'\\', 'u', '0', '0', kHex[byte >> 4], kHex[byte & 0x0F]};
        out.append(escaped, sizeof escaped);
      }
    }
  }
  out.append(text, plainFrom, text.size() - plainFrom);
}

namespace {

void appendString(std::string& out, std::string_view text) {
  out.push_back('"');
  appendJsonStringContent(out, text);
  out.push_back('"');
}

}  // namespace

// Containers are walked with a stack of their own rather than by recursion:
// the depth of a reply is the server's choice, and each level of recursion
// would take a frame of the host thread's stack (a reply of a few kilobytes
// of "[" would overflow it).
void appendCompactJson(std::string& out, const nlohmann::json& root) {
  struct Open {
    const nlohmann::json* container;
    nlohmann::json::const_iterator next;
  };
  std::vector<Open> open;
  const nlohmann::json* value = &root;
  while (value != nullptr) {
    switch (value->type()) {
      case nlohmann::json::value_t::string:
        appendString(out, value->get_ref<const std::string&>());
        break;
      case nlohmann::json::value_t::object:
        out.push_back('{');
        open.push_back({value, value->cbegin()});
        break;
      case nlohmann::json::value_t::array:
        out.push_back('[');
        open.push_back({value, value->cbegin()});
        break;
      case nlohmann::json::value_t::null:
        out.append("null");
        break;
      case nlohmann::json::value_t::boolean:
        out.append(value->get<bool>() ? "true" : "false");
        break;
      default:
        out.append(value->dump());  // numbers and binary: no strings inside
    }
    // The next value to write: the next member of the innermost open
    // container, closing those that have none left.
    value = nullptr;
    while (!open.empty()) {
      Open& innermost = open.back();
      const bool isObject = innermost.container->is_object();
      if (innermost.next == innermost.container->cend()) {
        out.push_back(isObject ? '}' : ']');
        open.pop_back();
        continue;
      }
      if (innermost.next != innermost.container->cbegin()) out.push_back(',');
      if (isObject) {
        appendString(out, innermost.next.key());
        out.push_back(':');
      }
      value = &*innermost.next;
      ++innermost.next;
      break;
    }
  }
}

std::string compactJson(const nlohmann::json& value) {
  std::string out;
  appendCompactJson(out, value);
  return out;
}

}  // namespace pingwell
