// sondrel-scan: scans files through the library as a host does. See README.md.
#include <iostream>
#include <string>
#include <vector>

#include "tools/scan/scan_tool.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  return sondrel::scan_tool::RunScanTool(arguments, std::cout, std::cerr);
}
