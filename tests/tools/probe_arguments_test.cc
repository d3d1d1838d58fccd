// The probe's command line.
#include "tools/probe/probe_arguments.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace sondrel::probe {
namespace {

TEST(ProbeArgumentsTest, ServerForms) {
  struct Case {
    std::string text;
    std::string address;
    std::string port;
    int32_t useSSL;
    int32_t priority;
  };
  const Case cases[] = {
      {"scan1:7081", "scan1", "7081", 0, 0},
      {"scan1:7083:tls", "scan1", "7083", 1, 0},
      {"10.0.0.5:7081@2", "10.0.0.5", "7081", 0, 2},
      {"scan1:1:tls@-3", "scan1", "1", 1, -3},
      {"[::1]:65535", "::1", "65535", 0, 0},
      {"[fe80::1]:7083:tls@1", "fe80::1", "7083", 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto server = ParseServer(c.text);
    ASSERT_TRUE(server);
    EXPECT_EQ(server->address, c.address);
    EXPECT_EQ(server->port, c.port);
    EXPECT_EQ(server->portSSL, c.port);
    EXPECT_EQ(server->useSSL, c.useSSL);
    EXPECT_EQ(server->priority, c.priority);
    EXPECT_EQ(server->enforced, 0);
  }
}

TEST(ProbeArgumentsTest, MalformedServersAreRefused) {
  for (const char* text : {"", "scan1", "scan1:", ":7081", "scan1:0", "scan1:65536", "scan1:x",
                           "scan1:7081:ssl", "scan1:7081:tls:tls", "scan1:7081@", "scan1:7081@x",
                           "[::1:7081", "[]:7081", "[::1]7081", "scan1:7081 "}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(ParseServer(text));
  }
}

TEST(ProbeArgumentsTest, OptionsAndTheirDefaults) {
  std::string error;
  auto parsed = ParseProbeArguments({"--server", "a:1", "--server", "b:2:tls@1"}, error);
  ASSERT_TRUE(parsed) << error;
  EXPECT_EQ(parsed->servers.size(), 2u);
  EXPECT_EQ(parsed->seconds, 6);
  EXPECT_FALSE(parsed->json);
  EXPECT_FALSE(parsed->settingsFile);

  parsed = ParseProbeArguments({"--settings", "s.xml", "--seconds", "0", "--json"}, error);
  ASSERT_TRUE(parsed) << error;
  EXPECT_EQ(parsed->settingsFile, "s.xml");
  EXPECT_EQ(parsed->seconds, 0);
  EXPECT_TRUE(parsed->json);
  EXPECT_TRUE(parsed->servers.empty());

  parsed = ParseProbeArguments({"--help"}, error);
  ASSERT_TRUE(parsed) << error;
  EXPECT_TRUE(parsed->help);

  parsed = ParseProbeArguments({"--status", "/run/kalvix.sock", "--json"}, error);
  ASSERT_TRUE(parsed) << error;
  EXPECT_EQ(parsed->statusSocket, "/run/kalvix.sock");
  EXPECT_TRUE(parsed->json);
}

TEST(ProbeArgumentsTest, UsageErrors) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--json"},
      {"--server"},
      {"--server", "nohost"},
      {"--server", "a:1", "--seconds"},
      {"--status"},
      {"--status", "/run/kalvix.sock", "--server", "a:1"},
      {"--server", "a:1", "--seconds", "-1"},
      {"--server", "a:1", "--seconds", "3601"},
      {"--server", "a:1", "--seconds", "two"},
      {"--server", "a:1", "--verbose"},
      {"a:1"},
  };
  for (const auto& arguments : cases) {
    SCOPED_TRACE(testing::PrintToString(arguments));
    std::string error;
    EXPECT_FALSE(ParseProbeArguments(arguments, error));
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace sondrel::probe
