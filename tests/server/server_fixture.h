// A sondrel-server for one test, with short time-outs, and hand-framed clients connected to it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "support/scan_server/hand_client.h"
#include "support/scan_server/server_process.h"
#include "support/temp_dir.h"

namespace sondrel::test {

class ServerTest : public testing::Test {
 protected:
  // Starts the server with `arguments` and the test's short time-outs for those not given.
  void Start(std::vector<std::string> arguments = {}, bool metrics = true) {
    const std::vector<std::pair<std::string, std::string>> defaults = {{"--idle-timeout", "3"},
                                                                       {"--frame-timeout", "1"},
                                                                       {"--log-level", "debug"},
                                                                       {"--workers", "2"}};
    std::vector<std::string> all = arguments;
    for (const auto& [option, value] : defaults) {
      if (std::find(arguments.begin(), arguments.end(), option) == arguments.end()) {
        all.insert(all.end(), {option, value});
      }
    }
    ServerProcessOptions options;
    options.metrics = metrics;
    options.arguments = all;
    server_ = std::make_unique<ServerProcess>(SONDREL_SERVER_PROGRAM, dir_.path() / "server.log",
                                              options);
    ASSERT_TRUE(server_->ok()) << server_->Log();
  }

  // A client connected to the server.
  std::unique_ptr<HandClient> Connect() {
    auto client = std::make_unique<HandClient>();
    EXPECT_TRUE(client->Connect(server_->port()));
    return client;
  }

  void TearDown() override {
    if (server_ != nullptr && HasFailure()) {
      std::cerr << "server log:\n" << server_->Log();
    }
  }

  TempDir dir_;
  std::unique_ptr<ServerProcess> server_;
};

}  // namespace sondrel::test
