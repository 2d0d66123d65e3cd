#include "run_host.h"

#include <sys/wait.h>

#include <cstdlib>

#include "files.h"

namespace pingwell::testing {

std::string quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

HostRun runHost(const std::string& host, const std::string& folder,
                const std::vector<std::string>& args, const std::string& script,
                bool scriptOnStdin) {
  writeBytes(folder + "/script", script);
  std::string cmd = "cd " + quoted(folder) + " && " + quoted(host);
  for (const std::string& a : args) cmd += " " + quoted(a);
  cmd += scriptOnStdin ? " < script" : " script";
  cmd += " > out.txt 2> err.txt";
  const int raw = std::system(cmd.c_str());
  HostRun run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = readBytes(folder + "/out.txt");
  run.err = readBytes(folder + "/err.txt");
  return run;
}

}  // namespace pingwell::testing
