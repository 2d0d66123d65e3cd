#include "plugin/options_panel/token_page.h"

#include <curl/curl.h>

#include <memory>

#include "plugin/options_panel/slack_app_manifest.h"

namespace pingwell {

namespace {

struct CurlTextFree {
  void operator()(char* text) const noexcept { curl_free(text); }
};

}  // namespace

std::string tokenPageAddress() noexcept {
  try {
    // libcurl ignores the handle when it encodes (curl_easy_escape(3)):
    // every byte but the unreserved ones becomes %XX.
    const std::unique_ptr<char, CurlTextFree> encoded(
        curl_easy_escape(nullptr, kSlackAppManifest, sizeof kSlackAppManifest - 1));
    if (!encoded) return {};
    std::string address = kAppsPage;
    address += "?new_app=1&manifest_json=";
    address += encoded.get();
    return address;
  } catch (...) {
    return {};
  }
}

}  // namespace pingwell
