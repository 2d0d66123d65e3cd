#include "slack/percent_encoding.h"

#include <climits>
#include <stdexcept>

namespace pingwell {
namespace {

bool unreserved(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
         (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' || byte == '~';
}

}  // namespace

void appendPercentEncoded(std::string& out, std::string_view text) {
  if (text.size() > static_cast<size_t>(INT_MAX)) {
    throw std::runtime_error("text too long to percent-encode");
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  // At least that much; escapes may grow it again. A buffer kept from an
  // earlier message usually holds enough already.
  if (out.capacity() < out.size() + text.size()) out.reserve(out.size() + text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (unreserved(byte)) {
      out.push_back(c);
    } else {
      const char escaped[3] = {'%', kHex[byte >> 4], kHex[byte & 0x0F]};
      out.append(escaped, sizeof escaped);
    }
  }
}

}  // namespace pingwell
