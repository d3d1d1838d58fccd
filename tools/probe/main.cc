// sondrel-probe: checks which scan servers the library would use. See README.md.
#include <iostream>
#include <string>
#include <vector>

#include "tools/probe/probe.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  return sondrel::probe::RunProbe(arguments, std::cout, std::cerr);
}
