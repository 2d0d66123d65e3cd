#pragma once
// One request of the client: a Web API method with its form fields, or the
// bytes of an upload POSTed to an https address the service handed out.
// Built by the method wrappers (ChatApi, FilesApi), written into a body by
// writeRequestBody, which encodes every name and value itself, so that no
// caller escapes anything. Free of I/O.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pingwell {

// How long a transfer may take: the connection (TLS handshake included), and
// the whole exchange.
struct Timeouts {
  long connectSeconds = 10;
  long totalSeconds = 30;
};

// An upload of a preview: 1 MB on a 1 Mbit/s line takes some 9 s; a slow
// link or a busy proxy gets room for several times that.
inline constexpr Timeouts kUploadTimeouts{10, 120};

class ApiRequest {
 public:
  // A call of the Web API method `method` ("chat.postMessage"), no fields yet.
  void webApi(std::string_view method);
  // An upload of `bytes` to `url`, which must be https: no fields, no token.
  // The caller keeps `bytes` alive until the call has returned.
  void upload(std::string_view url, std::string_view bytes);

  // Adds a field. Fields are kept in ascending byte order of their names,
  // whatever the order they are added in; the memory of earlier requests'
  // fields is used again.
  void add(std::string_view name, std::string_view value);

  bool isUpload() const noexcept { return isUpload_; }
  const std::string& method() const noexcept { return method_; }
  const std::string& uploadUrl() const noexcept { return uploadUrl_; }
  std::string_view uploadBytes() const noexcept { return uploadBytes_; }

  struct Field {
    std::string name;
    std::string value;
  };
  // The fields, in ascending order of their names.
  const Field* begin() const noexcept { return fields_.data(); }
  const Field* end() const noexcept { return fields_.data() + used_; }
  // The value of field `name`, or null.
  const std::string* find(std::string_view name) const noexcept;

  Timeouts timeouts;

 private:
  std::string method_;
  std::string uploadUrl_;
  std::string_view uploadBytes_;
  bool isUpload_ = false;
  std::vector<Field> fields_;  // the first used_ are this request's
  size_t used_ = 0;
};

// The form body of a Web API request: each field as its percent-encoded name,
// "=" and its percent-encoded value, in ascending order of the names, joined
// by "&", then "token=" and the encoded token last. Every byte outside RFC
// 3986's unreserved set becomes "%" and two upper-case hexadecimal digits, so
// no value can add or split a field. `body` is cleared first and keeps its
// memory. Throws std::runtime_error for a value that cannot be encoded (over
// INT_MAX bytes).
void writeRequestBody(std::string& body, const ApiRequest& request, std::string_view token);

// `text` percent-encoded as above, appended to `out` (curl_easy_escape).
void appendPercentEncoded(std::string& out, std::string_view text);

}  // namespace pingwell
