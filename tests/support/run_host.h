#pragma once
// pingwell-host as a test runs it: a script file in a folder of the test's,
// the exit status and everything written to standard output and error.
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pingwell::testing {

// `s` in single quotes for the shell, its own quotes kept.
std::string quoted(const std::string& s);

struct HostRun {
  int status = -1;  // the exit status; -1 when the host did not exit normally
  std::string out;
  std::string err;
};

// Writes `script` to `folder`/script and runs `host` in `folder` with `args`
// and then the script, as its file argument or on standard input.
HostRun runHost(const std::string& host, const std::string& folder,
                const std::vector<std::string>& args, const std::string& script,
                bool scriptOnStdin = false);

// Success: the host exited with 0 and wrote nothing to standard error.
inline ::testing::AssertionResult ranCleanly(const HostRun& run) {
  if (run.status == 0 && run.err.empty()) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "status " << run.status << ", standard error:\n"
                                       << run.err;
}

}  // namespace pingwell::testing
