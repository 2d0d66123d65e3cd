// Tests that run outside the sandbox must never reach the real service, not
// even when a fault makes an event post that should not. libcurl takes its
// proxy from the environment when the program sets none, so every request
// of this program goes to a closed port on the loopback address instead.
#include <cstdlib>
#include <initializer_list>

namespace {

struct OfflineGuard {
  OfflineGuard() {
    for (const char* name :
         {"https_proxy", "HTTPS_PROXY", "http_proxy", "all_proxy", "ALL_PROXY"}) {
      ::setenv(name, "http://127.0.0.1:9", 1);
    }
    ::unsetenv("no_proxy");
    ::unsetenv("NO_PROXY");
  }
};

const OfflineGuard guard;

}  // namespace
