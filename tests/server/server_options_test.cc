// The command line and the configuration file: defaults, the same names in an INI file, limits
// that are capped, and what is refused.
#include "server/server_options.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/temp_dir.h"

namespace sondrel::server {
namespace {

ParsedOptions Parse(std::vector<std::string> arguments, std::string* errors = nullptr) {
  arguments.insert(arguments.begin(), "sondrel-server");
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) {
    argv.push_back(argument.c_str());
  }
  std::ostringstream out;
  std::ostringstream err;
  ParsedOptions parsed = ParseServerOptions(static_cast<int>(argv.size()), argv.data(), out, err);
  if (errors != nullptr) {
    *errors = err.str();
  }
  return parsed;
}

TEST(ServerOptionsTest, DefaultsListenOnLoopbackWithTheBundledSignatures) {
  const ParsedOptions parsed = Parse({});
  ASSERT_TRUE(parsed.options);
  const ServerOptions& options = *parsed.options;
  ASSERT_EQ(options.listen.size(), 1u);
  EXPECT_EQ(FormatListenAddress(options.listen[0]), "127.0.0.1:7081");
  EXPECT_EQ(options.maxFileSize, 100ull << 20);
  EXPECT_GE(options.workers, 1u);
  ASSERT_FALSE(options.databases.empty());
  EXPECT_TRUE(
      std::filesystem::exists(std::filesystem::path(options.databases[0]) / "sondrel-test.ndb"));
  EXPECT_FALSE(options.metrics);
}

TEST(ServerOptionsTest, TheConfigFileTakesTheSameNamesAndTheCommandLineWins) {
  test::TempDir dir;
  const auto config = dir.Write("server.ini",
                                "workers = 3\nlisten = [\"127.0.0.1:1\", \"[::1]:2\"]\n"
                                "max-file-size = 8G\nmetrics = 127.0.0.1:9100\n"
                                "cache-weak-fingerprints = true\n"
                                "shared-cache = redis://10.0.0.7:6380\n");
  const ParsedOptions parsed = Parse({"--config", config.string(), "--workers", "5"});
  ASSERT_TRUE(parsed.options);
  EXPECT_EQ(parsed.options->workers, 5u);
  ASSERT_EQ(parsed.options->listen.size(), 2u);
  EXPECT_EQ(FormatListenAddress(parsed.options->listen[1]), "[::1]:2");
  EXPECT_EQ(parsed.options->maxFileSize, kEngineMaxFileSize) << "capped at the engine's limit";
  EXPECT_TRUE(parsed.options->metrics);
  EXPECT_TRUE(parsed.options->cacheWeakFingerprints);
  EXPECT_EQ(parsed.options->sharedCache, "redis://10.0.0.7:6380");
}

TEST(ServerOptionsTest, RefusesWhatCannotWork) {
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"--listen", "nowhere"},
                                             {"--listen", "127.0.0.1:70000"},
                                             {"--tls-listen", "127.0.0.1:0"},
                                             {"--workers", "0"},
                                             {"--shared-cache", "10.0.0.7:6380"},
                                             {"--shared-cache-timeout", "0"},
                                             {"--log-level", "loud"},
                                             {"--tls-client-ca", "/nonexistent/ca.pem"},
                                             {"--tls-client-ca", "/dev/null"},
                                             {"--workers"},
                                             {"--frobnicate"}}) {
    std::string errors;
    const ParsedOptions parsed = Parse(arguments, &errors);
    EXPECT_FALSE(parsed.options) << arguments[0];
    EXPECT_EQ(parsed.exitCode, 2) << arguments[0] << ": a usage error";
    EXPECT_FALSE(errors.empty()) << arguments[0];
  }
  EXPECT_EQ(Parse({"--help"}).exitCode, 0);
  EXPECT_EQ(Parse({"--version"}).exitCode, 0);
}

}  // namespace
}  // namespace sondrel::server
