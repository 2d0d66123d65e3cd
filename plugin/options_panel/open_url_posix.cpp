#include "plugin/options_panel/open_url.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>

extern char** environ;

namespace pingwell {

namespace {

constexpr const char* kOpenerName = "xdg-open";
constexpr const char* kShell = "/bin/sh";
// The shell starts the opener in the background and exits at once, so the
// opener is handed to init rather than left as our child, and we wait only
// for the shell. $0 is the opener, $1 the address.
constexpr const char* kDetachScript = "\"$0\" \"$1\" </dev/null >/dev/null 2>&1 &";

// The opener's full path on the search path, or empty.
std::string findOpener() {
  const char* searchPath = std::getenv("PATH");
  std::string_view rest = searchPath != nullptr ? searchPath : "/usr/local/bin:/usr/bin:/bin";
  while (!rest.empty()) {
    const size_t colon = rest.find(':');
    std::string_view folder = rest.substr(0, colon);
    rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
    if (folder.empty()) continue;  // the current folder is never searched
    std::string candidate(folder);
    candidate += '/';
    candidate += kOpenerName;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

struct SpawnSettings {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  bool ready = false;

  SpawnSettings() {
    if (posix_spawn_file_actions_init(&actions) != 0) return;
    if (posix_spawnattr_init(&attributes) != 0) {
      posix_spawn_file_actions_destroy(&actions);
      return;
    }
    ready = true;
    // The host's standard streams stay out of it.
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // Whatever signals the host's thread blocks or handles, the opener
    // starts with the defaults.
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  }
  ~SpawnSettings() {
    if (!ready) return;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
  }
  SpawnSettings(const SpawnSettings&) = delete;
  SpawnSettings& operator=(const SpawnSettings&) = delete;
};

}  // namespace

void openUrlInBrowser(const char* url) noexcept {
  if (url == nullptr) return;
  try {
    const std::string opener = findOpener();
    if (opener.empty()) return;
    SpawnSettings settings;
    if (!settings.ready) return;
    std::string shell(kShell), flag("-c"), script(kDetachScript), address(url);
    char* arguments[] = {shell.data(),   flag.data(),
                         script.data(),  const_cast<char*>(opener.c_str()),
                         address.data(), nullptr};
    pid_t child = 0;
    if (posix_spawn(&child, kShell, &settings.actions, &settings.attributes, arguments, environ) !=
        0) {
      return;
    }
    // The shell exits as soon as it has started the opener in the
    // background. When the host ignores SIGCHLD the child is reaped for us
    // and waitpid reports ECHILD, which is fine too.
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  } catch (...) {
    // Out of memory: the page simply does not open.
  }
}

}  // namespace pingwell
