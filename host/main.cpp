// pingwell-host: loads the notification module the way the 3D host does and
// plays the host's part from a script.
//
//   pingwell-host [--module FILE] [--settings DIR] [--render-node] [--times] [SCRIPT]
//
// --render-node plays a render node, which has no user interface: the
// lookup gives no panel services and no message boxes, and "System ID" the
// render node's type bits. --settings names the settings folder, which the
// module is given in UTF-8, as later hosts give it. --times tells how long
// the module's event calls took (see Host::showTimes).
//
// Exit status: 0 when every line ran, 2 when one could not (reported on
// standard error as "line N: reason"; line 0 is the start-up) or when an
// image filter gave a wrong frame (reported likewise; the script goes on).

#include <chrono>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host.h"
#include "platform.h"
#include "script.h"
#include "standin_services.h"

#ifndef PINGWELL_HOST_MODULE_RELPATH
#define PINGWELL_HOST_MODULE_RELPATH "../plugin/module/voro2_pingwell_64.p"
#endif
#ifndef PINGWELL_HOST_MODULE_FILE
#define PINGWELL_HOST_MODULE_FILE "voro2_pingwell_64.p"
#endif

namespace {

using namespace pingwell_host;

constexpr int kFailed = 2;

const char kUsage[] =
    "usage: pingwell-host [--module FILE] [--settings DIR] [--render-node] [--times] [SCRIPT]\n"
    "script commands, one a line:\n"
    "  create NAME | destroy NAME | copy TO FROM | describe NAME\n"
    "  save NAME FILE | load NAME FILE | scene FILE | frame N | event NAME CODE\n"
    "  options NAME ok|cancel [token=T] [name=N] [channel=C] [render=B] [start=B]\n"
    "          [done=B] [times=B] [thread=B] [progress=B] [notify=TEXT] [alert=N]\n"
    "          [gettoken] [test]\n"
    "  render FIRST LAST [step=S] [abort=N] [sleep=MS] [slow=FRAME:MS] [size=WxH]\n"
    "         sleep: 0 to 600000 ms a frame; slow: frame FRAME takes MS instead;\n"
    "         size: 640x360 unless given, each side\n"
    "         1 to 8192, at most 16777216 pixels (4096x4096)\n"
    "  filter add [noitems] | filter remove\n"
    "  activate handler VERSION\n"
    "  unload | load   shut the module down and unload it (saying how long that\n"
    "         took); load it again, with no instances\n"
    "  crash [after=MS]   ends the program (after MS), status 3, nothing destroyed\n"
    "         or unloaded, as a crashing host\n";

// The module built beside the program; failing that, one in the program's
// own folder.
std::string defaultModule() {
  std::string folder = executableFolder();
  if (folder.empty()) return PINGWELL_HOST_MODULE_FILE;
  std::string built = joinPath(folder, PINGWELL_HOST_MODULE_RELPATH);
  if (fileExists(built)) return built;
  std::string beside = joinPath(folder, PINGWELL_HOST_MODULE_FILE);
  if (fileExists(beside)) return beside;
  return built;
}

void report(int line, const std::string& reason) {
  std::fflush(stdout);
  std::fprintf(stderr, "line %d: %s\n", line, reason.c_str());
  std::fflush(stderr);
}

int runHost(int argc, char** argv) {
  std::string modulePath;
  std::string settings = "./Settings";
  std::string scriptPath;
  bool haveScript = false;
  bool renderNode = false;
  // The settings folder is handed to the module in UTF-8, as later hosts do.
  const std::vector<std::string> utf8 = utf8Arguments(argc, argv);
  bool times = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--module" && i + 1 < argc) {
      modulePath = argv[++i];
    } else if (arg == "--settings" && i + 1 < argc) {
      settings = utf8[static_cast<size_t>(++i)];
    } else if (arg == "--render-node") {
      renderNode = true;
    } else if (arg == "--times") {
      times = true;
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
      std::fputs(kUsage, stderr);
      return kFailed;
    } else if (!haveScript) {
      scriptPath = arg;
      haveScript = true;
    } else {
      std::fputs(kUsage, stderr);
      return kFailed;
    }
  }
  if (modulePath.empty()) modulePath = defaultModule();

  std::string folderError;
  if (!makeFolders(settings, folderError))
    std::fprintf(stderr, "pingwell-host: cannot make the settings folder %s: %s\n",
                 settings.c_str(), folderError.c_str());
  StandInServices::get().setSettingsFolder(settings);
  StandInServices::get().setRenderNode(renderNode);

  std::ifstream scriptFile;
  std::istream* in = &std::cin;
  if (haveScript && scriptPath != "-") {
    scriptFile.open(scriptPath);
    if (!scriptFile) {
      report(0, "cannot read the script " + scriptPath);
      return kFailed;
    }
    in = &scriptFile;
  }

  int lineNumber = 0;
  try {
    // `unload` and `load` end the module's life and begin a new one in the
    // same process, as a host does that unloads a module and loads it again.
    std::optional<Host> host(std::in_place, modulePath);
    host->showTimes(times);
    bool failed = false;
    ScriptReader reader(*in);
    while (auto line = reader.next()) {
      lineNumber = line->number;
      const std::vector<std::string>& w = line->words;
      if (w.size() == 1 && w[0] == "unload") {
        if (!host) throw ScriptError(lineNumber, "the module is not loaded");
        failed = failed || host->failed();
        const auto start = std::chrono::steady_clock::now();
        host.reset();
        const double took =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        char text[64];
        std::snprintf(text, sizeof text, "unloaded in %.3f s\n", took);
        std::fputs(text, stdout);
        std::fflush(stdout);
      } else if (w.size() == 1 && w[0] == "load") {
        if (host) throw ScriptError(lineNumber, "the module is loaded already");
        host.emplace(modulePath);
        host->showTimes(times);
      } else if (!w.empty()) {
        if (!host) throw ScriptError(lineNumber, "the module is not loaded: load it first");
        host->run(*line);
      }
    }
    if (failed || (host && host->failed())) return kFailed;
  } catch (const ScriptError& e) {
    report(e.line(), e.what());
    return kFailed;
  } catch (const std::exception& e) {
    report(lineNumber, std::string("unexpected failure: ") + e.what());
    return kFailed;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return runHost(argc, argv);
  } catch (...) {
    std::fputs("pingwell-host: unexpected failure\n", stderr);
    return kFailed;
  }
}
