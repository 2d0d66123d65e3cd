// The Windows half of system_proxy.h: the current user's Internet Options,
// through WinHTTP (winhttp.dll, part of Windows).
#ifdef _WIN32

#include <windows.h>
#include <winhttp.h>

#include <memory>

#include "slack/system_proxy.h"

namespace pingwell {

namespace {

// The strings of WINHTTP_CURRENT_USER_IE_PROXY_CONFIG are the caller's to
// free with GlobalFree.
struct GlobalFreeDeleter {
  void operator()(wchar_t* text) const noexcept { GlobalFree(text); }
};
using GlobalText = std::unique_ptr<wchar_t, GlobalFreeDeleter>;

// UTF-8 of a wide string; empty for none or one that cannot be converted.
std::string utf8(const wchar_t* wide) {
  if (wide == nullptr || *wide == L'\0') return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string out(static_cast<size_t>(size), '\0');
  if (WideCharToMultiByte(CP_UTF8, 0, wide, -1, &out[0], size, nullptr, nullptr) != size)
    return std::string();
  out.resize(static_cast<size_t>(size) - 1);  // without the terminating NUL
  return out;
}

}  // namespace

std::optional<std::string> currentUserProxyFor(std::string_view host) {
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
  if (!WinHttpGetIEProxyConfigForCurrentUser(&config)) return std::nullopt;
  // Owned from here on, whatever is used.
  const GlobalText proxy(config.lpszProxy);
  const GlobalText bypass(config.lpszProxyBypass);
  const GlobalText script(config.lpszAutoConfigUrl);
  const std::string proxyList = utf8(proxy.get());
  if (proxyList.empty()) return std::nullopt;
  return systemProxyFor(host, proxyList, utf8(bypass.get()));
}

}  // namespace pingwell

#endif  // _WIN32
