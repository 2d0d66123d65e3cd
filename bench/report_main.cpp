#include "report_main.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>

namespace bench {

int reportMain(const char* program, int argc, char** argv, int (*run)(const ReportRun&)) {
  ReportRun args;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) {
      args.out = argv[++i];
    } else if (std::strcmp(argv[i], "--quick") == 0) {
      args.quick = true;
    } else {
      std::fprintf(stderr, "%s: unknown argument %s\n", program, argv[i]);
      return 1;
    }
  }
  if (args.out.empty()) {
    std::fprintf(stderr, "%s: usage: %s --out FILE [--quick]\n", program, program);
    return 1;
  }
  try {
    return run(args);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", program, e.what());
    return 1;
  }
}

bool writeReport(const std::string& path, const nlohmann::json& result) {
  std::ofstream out(path);
  out << result.dump(2) << '\n';
  return static_cast<bool>(out);
}

}  // namespace bench
