#include "slack/percent_encoding.h"

#include <array>
#include <climits>
#include <stdexcept>

namespace pingwell {
namespace {

constexpr std::array<bool, 256> kUnreserved = [] {
  std::array<bool, 256> table{};
  for (int c = 'A'; c <= 'Z'; ++c) table[c] = true;
  for (int c = 'a'; c <= 'z'; ++c) table[c] = true;
  for (int c = '0'; c <= '9'; ++c) table[c] = true;
  for (const char c : {'-', '.', '_', '~'}) table[static_cast<unsigned char>(c)] = true;
  return table;
}();

}  // namespace

void appendPercentEncoded(std::string& out, std::string_view text) {
  if (text.size() > static_cast<size_t>(INT_MAX)) {
    throw std::runtime_error("text too long to percent-encode");
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  // Room for the longest result, cut to the real one afterwards; a buffer
  // kept from an earlier message usually has that room already.
  const size_t start = out.size();
  out.resize(start + 3 * text.size());
  char* at = out.data() + start;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (kUnreserved[byte]) {
      *at++ = c;
    } else {
      *at++ = '%';
      *at++ = kHex[byte >> 4];
      *at++ = kHex[byte & 0x0F];
    }
  }
  out.resize(static_cast<size_t>(at - out.data()));
}

}  // namespace pingwell
