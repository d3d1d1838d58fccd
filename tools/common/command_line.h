// The command-line conventions the tools share, over CLI11: a help text that starts with a
// one-line usage, usage errors reported as "PROGRAM: why" followed by the usage, exit code 2.
#pragma once

#include <CLI/CLI.hpp>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace sondrel::tools {

inline constexpr int kUsageErrorExit = 2;

// An application whose help text begins with `usage` (a line such as "usage: sondrel-scan
// [OPTIONS] PATH...").
std::unique_ptr<CLI::App> MakeApp(const std::string& program, const std::string& usage);

// What parsing the arguments after the program name came to.
struct ParseOutcome {
  bool parsed = false;
  bool help = false;
  bool version = false;
  // The usage error, when neither parsed nor help nor version.
  std::string error;
};
ParseOutcome Parse(CLI::App& app, const std::vector<std::string>& arguments);

}  // namespace sondrel::tools
