#include "plugin/options_panel/open_url.h"

#include <windows.h>
// windows.h first: shellapi.h needs its types.
#include <shellapi.h>

namespace pingwell {

void openUrlInBrowser(const char* url) noexcept {
  if (url == nullptr) return;
  // The result is of no use to anyone: a missing browser is the desktop's
  // business, and the panel goes on either way.
  (void)ShellExecuteA(nullptr, "open", url, nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace pingwell
