#include "slack/reply_parse.h"

#include <cstdint>

namespace pingwell {
namespace {

using nlohmann::json;

// Reads the plain subset of JSON into the same document the library builds:
// the same value types (a non-negative integer is number_unsigned, a negative
// one number_integer), the last of two equal keys winning. It gives up,
// returning false, at the first byte outside that subset, so that the
// library can read the text again and return or throw what it always does.
class PlainReader {
 public:
  explicit PlainReader(const std::string& text)
      : at_(text.data()), end_(text.data() + text.size()) {}

  bool read(json& root) {
    json* open[kMaxDepth];  // the containers around the next value, innermost last
    size_t depth = 0;
    json* slot = &root;  // where the next value goes
    skipBlanks();
    for (;;) {
      // One value into *slot; a container is opened and its first member or
      // element becomes the next slot.
      if (at_ == end_) return false;
      const char c = *at_;
      if (c == '{' || c == '[') {
        if (depth == kMaxDepth) return false;
        ++at_;
        *slot = json(c == '{' ? json::value_t::object : json::value_t::array);
        open[depth++] = slot;
        skipBlanks();
        if (at_ != end_ && *at_ == (c == '{' ? '}' : ']')) {
          ++at_;
          --depth;
        } else {
          if (!nextSlot(*slot, slot)) return false;
          continue;
        }
      } else if (!scalar(*slot)) {
        return false;
      }
      // After a value: the next member or element, or the end of containers.
      for (;;) {
        skipBlanks();
        if (depth == 0) return at_ == end_;
        if (at_ == end_) return false;
        json& container = *open[depth - 1];
        if (*at_ == ',') {
          ++at_;
          skipBlanks();
          if (!nextSlot(container, slot)) return false;
          break;
        }
        if (*at_ != (container.is_object() ? '}' : ']')) return false;
        ++at_;
        --depth;
      }
    }
  }

 private:
  static constexpr size_t kMaxDepth = 32;
  static constexpr int kMaxDigits = 18;  // any such integer fits both 64-bit types

  void skipBlanks() {
    while (at_ != end_ && (*at_ == ' ' || *at_ == '\t' || *at_ == '\n' || *at_ == '\r')) ++at_;
  }

  bool literal(const char* word) {
    for (const char* w = word; *w != '\0'; ++w, ++at_) {
      if (at_ == end_ || *at_ != *w) return false;
    }
    return true;
  }

  // The slot of the next element of an array, or of the member whose key
  // comes next in an object.
  bool nextSlot(json& container, json*& slot) {
    if (container.is_array()) {
      auto& elements = container.get_ref<json::array_t&>();
      elements.emplace_back();
      slot = &elements.back();
      return true;
    }
    if (at_ == end_ || *at_ != '"' || !string(key_)) return false;
    skipBlanks();
    if (at_ == end_ || *at_ != ':') return false;
    ++at_;
    skipBlanks();
    slot = &container.get_ref<json::object_t&>()[key_];
    return true;
  }

  // A string from its opening quote: printable ASCII and the escapes that
  // stand for one such byte or a control character; \u and bytes of 128 and
  // above (UTF-8, which the library validates) are left to the library.
  bool string(std::string& out) {
    out.clear();
    ++at_;
    while (at_ != end_) {
      const auto byte = static_cast<unsigned char>(*at_++);
      if (byte == '"') return true;
      if (byte < 0x20 || byte >= 0x80) return false;
      if (byte != '\\') {
        out.push_back(static_cast<char>(byte));
        continue;
      }
      if (at_ == end_) return false;
      switch (*at_++) {
        case '"': out.push_back('"'); break;
        case '\\': out.push_back('\\'); break;
        case '/': out.push_back('/'); break;
        case 'b': out.push_back('\b'); break;
        case 'f': out.push_back('\f'); break;
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 't': out.push_back('\t'); break;
        default: return false;
      }
    }
    return false;
  }

  // An integer without fraction or exponent; what follows it is the
  // caller's to judge, so "1.5" and "01" end up with the library.
  bool integer(json& value) {
    const bool negative = *at_ == '-';
    if (negative) ++at_;
    if (at_ == end_ || *at_ < '0' || *at_ > '9') return false;
    std::uint64_t magnitude = 0;
    int digits = 0;
    if (*at_ == '0') {
      ++at_;
    } else {
      while (at_ != end_ && *at_ >= '0' && *at_ <= '9') {
        if (++digits > kMaxDigits) return false;
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(*at_++ - '0');
      }
    }
    if (negative) {
      value = static_cast<json::number_integer_t>(-static_cast<std::int64_t>(magnitude));
    } else {
      value = static_cast<json::number_unsigned_t>(magnitude);
    }
    return true;
  }

  bool scalar(json& value) {
    switch (*at_) {
      case '"': {
        std::string text;
        if (!string(text)) return false;
        value = std::move(text);
        return true;
      }
      case 't':
        value = true;
        return literal("true");
      case 'f':
        value = false;
        return literal("false");
      case 'n':
        value = nullptr;
        return literal("null");
      default:
        return integer(value);
    }
  }

  const char* at_;
  const char* end_;
  std::string key_;
};

}  // namespace

nlohmann::json parseReply(const std::string& text) {
  json document;
  if (PlainReader(text).read(document)) return document;
  return json::parse(text);
}

}  // namespace pingwell
