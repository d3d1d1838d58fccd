// sondrel-server: the scan server. See README.md, "Running a scan server", and --help.
#include <iostream>

#include "server/server.h"
#include "server/server_options.h"

int main(int argc, char** argv) {
  const sondrel::server::ParsedOptions parsed =
      sondrel::server::ParseServerOptions(argc, argv, std::cout, std::cerr);
  if (!parsed.options) {
    return parsed.exitCode;
  }
  return sondrel::server::RunServer(*parsed.options, std::cout);
}
