#include "slack/system_proxy.h"

#include <cstdlib>
#include <vector>

namespace pingwell {

namespace {

bool isSeparator(char c) { return c == ';' || c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The entries of a list, separated by semicolons or blanks, empty ones left out.
std::vector<std::string_view> entries(std::string_view list) {
  std::vector<std::string_view> out;
  size_t at = 0;
  while (at < list.size()) {
    while (at < list.size() && isSeparator(list[at])) ++at;
    size_t end = at;
    while (end < list.size() && !isSeparator(list[end])) ++end;
    if (end > at) out.push_back(list.substr(at, end - at));
    at = end;
  }
  return out;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t n = 0; n < a.size(); ++n)
    if (lower(a[n]) != lower(b[n])) return false;
  return true;
}

// `text` matches `pattern`, in which "*" stands for any text, case aside.
bool matchesNoCase(std::string_view pattern, std::string_view text) {
  size_t p = 0, t = 0;
  size_t star = std::string_view::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (p < pattern.size() && lower(pattern[p]) == lower(text[t])) {
      ++p;
      ++t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool environmentSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

}  // namespace

std::optional<std::string> proxyForHttps(std::string_view proxyList) {
  std::optional<std::string> forAll;
  for (std::string_view entry : entries(proxyList)) {
    const size_t equals = entry.find('=');
    // "http://proxy:8080" is a server for every protocol, not "http=".
    const size_t scheme = entry.find("://");
    if (equals == std::string_view::npos || (scheme != std::string_view::npos && scheme < equals)) {
      if (!forAll) forAll = std::string(entry);
    } else if (equalNoCase(entry.substr(0, equals), "https") && equals + 1 < entry.size()) {
      return std::string(entry.substr(equals + 1));
    }
  }
  return forAll;
}

bool bypassesProxy(std::string_view bypassList, std::string_view host) {
  for (std::string_view entry : entries(bypassList)) {
    if (equalNoCase(entry, "<local>")) {
      if (host.find('.') == std::string_view::npos) return true;
    } else if (matchesNoCase(entry, host)) {
      return true;
    }
  }
  return false;
}

std::optional<std::string> systemProxyFor(std::string_view host, std::string_view proxyList,
                                          std::string_view bypassList) {
  if (bypassesProxy(bypassList, host)) return std::nullopt;
  return proxyForHttps(proxyList);
}

std::string_view hostOfUrl(std::string_view url) {
  const size_t scheme = url.find("://");
  if (scheme != std::string_view::npos) url.remove_prefix(scheme + 3);
  const size_t end = url.find_first_of(":/?#");
  return end == std::string_view::npos ? url : url.substr(0, end);
}

bool proxyEnvironmentSet() {
  for (const char* name : {"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
    if (environmentSet(name)) return true;
  return false;
}

}  // namespace pingwell
