#pragma once
// The proxy that the user has set for the whole system, read the way
// Windows' Internet Options keeps it: a proxy list, either one server for
// every protocol or one per protocol ("http=a:8080;https=b:8443"), and a
// bypass list of host patterns ("*.studio.example;<local>"). Pure text work,
// built and tested everywhere; only the Windows build looks the lists up.
#include <optional>
#include <string>
#include <string_view>

namespace pingwell {

// The proxy for https addresses in a proxy list: its "https=" entry, else an
// entry without a protocol; none when the list names only other protocols.
std::optional<std::string> proxyForHttps(std::string_view proxyList);

// Whether `host` is in a bypass list: entries separated by semicolons or
// blanks, each a host name in which "*" stands for any text, compared
// without regard to case; "<local>" stands for every name without a dot.
bool bypassesProxy(std::string_view bypassList, std::string_view host);

// The proxy to use for `host` by the two lists, or none (a direct connection).
std::optional<std::string> systemProxyFor(std::string_view host, std::string_view proxyList,
                                          std::string_view bypassList);

// The host of an address such as "https://slack.com/api/".
std::string_view hostOfUrl(std::string_view url);

// Whether a proxy environment variable that libcurl reads for https
// addresses is set (https_proxy, HTTPS_PROXY, all_proxy, ALL_PROXY): then
// it decides, and the system's setting is left alone.
bool proxyEnvironmentSet();

#ifdef _WIN32
// The proxy for `host` that the current user has set in Windows' Internet
// Options (WinHttpGetIEProxyConfigForCurrentUser): the manual proxy server
// and its bypass list. An automatic configuration script is not followed.
// None when no proxy is set, when the host bypasses it, or when the setting
// cannot be read.
std::optional<std::string> currentUserProxyFor(std::string_view host);
#endif

}  // namespace pingwell
