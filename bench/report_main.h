#pragma once
// The command line and the output of the benchmark programs that write one
// JSON object instead of Google Benchmark's results:
//
//   PROGRAM --out FILE [--quick]
#include <string>

#include <nlohmann/json.hpp>

namespace bench {

// What a run gets: where the JSON object goes, and whether it is a brief run
// of bench/smoke whose figures mean nothing.
struct ReportRun {
  std::string out;
  bool quick = false;
};

// Reads the command line, calls `run` with it and returns its exit status.
// A wrong command line, and an exception out of `run`, end with a line
// "PROGRAM: why" on the standard error stream and status 1.
int reportMain(const char* program, int argc, char** argv, int (*run)(const ReportRun&));

// Writes `result` to `path`, indented, one line at its end. False when it
// could not be written.
bool writeReport(const std::string& path, const nlohmann::json& result);

}  // namespace bench
