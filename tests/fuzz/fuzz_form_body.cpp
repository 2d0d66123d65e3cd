// The body writer on arbitrary parameters. The input bytes describe a JSON
// value (see decodeValue): objects, arrays, strings of any bytes (not only
// UTF-8), all kinds of numbers, bools, null and binary values.
//
// Properties: the body ends in the client's token; parameters that are not
// an object, null or an empty array are refused with invalid_iterator and
// nothing else; the compact JSON text equals the JSON library's own wherever
// the library can write the value (valid UTF-8). The request body of the
// call path, made of the same names and texts, decodes back to exactly its
// fields in name order and the token last: no value adds or splits a field.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include <utility>
#include <vector>

#include "fuzz_check.h"
#include "slack/api_request.h"
#include "slack/form_body.h"
#include "slack/json_text.h"

namespace {

using nlohmann::json;

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return size_ == 0; }
  uint8_t byte() {
    if (size_ == 0) return 0;
    --size_;
    return *data_++;
  }
  template <typename T>
  T raw() {
    T value{};
    unsigned char bytes[sizeof(T)] = {};
    for (auto& b : bytes) b = byte();
    std::memcpy(&value, bytes, sizeof(T));
    return value;
  }
  // A length byte, then that many bytes (fewer at the end of the input).
  std::string text() {
    const size_t length = byte() % 32;
    std::string out;
    for (size_t i = 0; i < length && !empty(); ++i) out.push_back(static_cast<char>(byte()));
    return out;
  }

 private:
  const uint8_t* data_;
  size_t size_;
};

json decodeValue(Input& in, int depth) {
  const int kinds = depth >= 6 ? 7 : 9;  // no containers past a few levels
  switch (in.byte() % kinds) {
    case 0:
      return nullptr;
    case 1:
      return (in.byte() & 1) != 0;
    case 2:
      return in.raw<int64_t>();
    case 3:
      return in.raw<uint64_t>();
    case 4:
      return in.raw<double>();  // NaN, infinities, subnormals included
    case 5:
      return in.text();
    case 6: {
      const std::string bytes = in.text();
      return json::binary(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    }
    case 7: {
      json array = json::array();
      for (int n = in.byte() % 5; n > 0 && !in.empty(); --n)
        array.push_back(decodeValue(in, depth + 1));
      return array;
    }
    default: {
      json object = json::object();
      for (int n = in.byte() % 8; n > 0 && !in.empty(); --n) {
        const std::string key = in.text();
        object[key] = decodeValue(in, depth + 1);
      }
      return object;
    }
  }
}

// Parameters: most inputs give an object, as every real caller passes; the
// rest any value, to see the refusal of what is not an object.
json decodeParams(Input& in) {
  if (in.byte() % 4 == 0) return decodeValue(in, 0);
  json object = json::object();
  for (int n = in.byte() % 10; n > 0 && !in.empty(); --n) {
    const std::string key = in.text();
    object[key] = decodeValue(in, 1);
  }
  return object;
}

// True when the JSON library writes the value itself (strict UTF-8).
bool libraryText(const json& value, std::string& text) {
  try {
    text = value.dump();
    return true;
  } catch (const json::type_error&) {
    return false;
  }
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;  // the writer uses upper case only
}

// A form text as a server decodes it; false when it holds a byte the writer
// must have encoded, or a broken escape.
bool percentDecode(const std::string& text, std::string& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%') {
      if (i + 2 >= text.size()) return false;
      const int high = hexDigit(text[i + 1]);
      const int low = hexDigit(text[i + 2]);
      if (high < 0 || low < 0) return false;
      out.push_back(static_cast<char>(high * 16 + low));
      i += 2;
    } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '.' || c == '_' || c == '~') {
      out.push_back(c);
    } else {
      return false;
    }
  }
  return true;
}

// The call path's body of the same parameters, each value as its text.
void checkRequestBody(const json& params, const std::string& token) {
  if (!params.is_object()) return;
  pingwell::ApiRequest request;
  request.webApi("chat.postMessage");
  std::vector<std::pair<std::string, std::string>> fields;
  for (auto it = params.cbegin(); it != params.cend(); ++it) {
    const std::string text = it.value().is_string() ? it.value().get<std::string>()
                                                    : pingwell::compactJson(it.value());
    request.add(it.key(), text);
    fields.emplace_back(it.key(), text);
  }
  fields.emplace_back("token", token);  // std::map's order is the byte order
  std::string body;
  pingwell::writeRequestBody(body, request, token);
  std::vector<std::pair<std::string, std::string>> decoded;
  size_t start = 0;
  while (start <= body.size()) {
    size_t end = body.find('&', start);
    if (end == std::string::npos) end = body.size();
    const std::string piece = body.substr(start, end - start);
    const size_t eq = piece.find('=');
    FUZZ_CHECK(eq != std::string::npos);
    std::string name;
    std::string value;
    FUZZ_CHECK(percentDecode(piece.substr(0, eq), name));
    FUZZ_CHECK(percentDecode(piece.substr(eq + 1), value));
    decoded.emplace_back(std::move(name), std::move(value));
    start = end + 1;
  }
  FUZZ_CHECK(decoded == fields);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  const json params = decodeParams(in);
  const std::string token = "xoxb-" + in.text();

  const bool acceptable =
      params.is_object() || params.is_null() || (params.is_array() && params.empty());
  try {
    const std::string body = pingwell::formBody(params, token);
    FUZZ_CHECK(acceptable);
    const std::string tail = "token=" + token;
    FUZZ_CHECK(body.size() >= tail.size());
    FUZZ_CHECK(body.compare(body.size() - tail.size(), tail.size(), tail) == 0);
    if (params.empty()) FUZZ_CHECK(body == tail);
    if (!params.empty()) FUZZ_CHECK(body[body.size() - tail.size() - 1] == '&');
  } catch (const json::invalid_iterator&) {
    FUZZ_CHECK(!acceptable);
  }

  checkRequestBody(params, token);

  std::string expected;
  const std::string ours = pingwell::compactJson(params);
  if (libraryText(params, expected)) FUZZ_CHECK(ours == expected);
  return 0;
}
