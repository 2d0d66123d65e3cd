#include "slack/api_request.h"

#include <curl/curl.h>

#include <climits>
#include <memory>
#include <stdexcept>
#include <utility>

namespace pingwell {

void ApiRequest::webApi(std::string_view method) {
  method_.assign(method);
  uploadUrl_.clear();
  uploadBytes_ = {};
  isUpload_ = false;
  used_ = 0;
  timeouts = Timeouts{};
}

void ApiRequest::upload(std::string_view url, std::string_view bytes) {
  method_.clear();
  uploadUrl_.assign(url);
  uploadBytes_ = bytes;
  isUpload_ = true;
  used_ = 0;
  timeouts = kUploadTimeouts;
}

void ApiRequest::add(std::string_view name, std::string_view value) {
  if (used_ == fields_.size()) fields_.emplace_back();
  Field& field = fields_[used_];
  field.name.assign(name);
  field.value.assign(value);
  // Into its place by name; swapping strings moves no characters.
  for (size_t at = used_; at > 0 && fields_[at].name < fields_[at - 1].name; --at) {
    std::swap(fields_[at], fields_[at - 1]);
  }
  ++used_;
}

const std::string* ApiRequest::find(std::string_view name) const noexcept {
  for (const Field& field : *this) {
    if (field.name == name) return &field.value;
  }
  return nullptr;
}

namespace {

// RFC 3986's unreserved bytes, which encoding leaves as they are.
bool unreserved(char c) noexcept {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

}  // namespace

void appendPercentEncoded(std::string& out, std::string_view text) {
  // Names, flags, time stamps and IDs need no encoding: they go as they
  // are, without a buffer of libcurl's for each.
  bool plain = true;
  for (char c : text) plain = plain && unreserved(c);
  if (plain) {
    out.append(text);
    return;
  }
  if (text.size() > static_cast<size_t>(INT_MAX)) {
    throw std::runtime_error("text too long to percent-encode");
  }
  struct CurlFree {
    void operator()(char* p) const noexcept { curl_free(p); }
  };
  // curl_easy_escape(3) ignores its handle: the encoding is pure text work.
  const std::unique_ptr<char, CurlFree> encoded(
      curl_easy_escape(nullptr, text.data(), static_cast<int>(text.size())));
  if (!encoded) throw std::runtime_error("percent-encoding failed");
  out.append(encoded.get());
}

void writeRequestBody(std::string& body, const ApiRequest& request, std::string_view token) {
  body.clear();
  for (const ApiRequest::Field& field : request) {
    appendPercentEncoded(body, field.name);
    body.push_back('=');
    appendPercentEncoded(body, field.value);
    body.push_back('&');
  }
  body.append("token=");
  appendPercentEncoded(body, token);
}

}  // namespace pingwell
