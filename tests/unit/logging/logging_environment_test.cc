#include "logging/logging_environment.h"

#include <gtest/gtest.h>

#include "platform/path.h"
#include "platform/process_info.h"
#include "sondrel/sondrel.h"
#include "support/scoped_env.h"

namespace sondrel {
namespace {

TEST(LoggingEnvironmentTest, TheEnvironmentCanNameTheConfigurationDirectory) {
  struct Case {
    const char* value;
    std::wstring exeDir;
  };
  const Case cases[] = {
      {nullptr, platform::ExecutableDirectory()},  // unset: beside the executable
      {"", platform::ExecutableDirectory()},
      {"/srv/conf", L"/srv/conf/"},  // a separator is added
      {"/srv/conf/", L"/srv/conf/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value != nullptr ? c.value : "(unset)");
    const test::ScopedEnv env(SONDREL_ENV_LOG_CONFIG_DIR, c.value);
    const LoggingEnvironment environment = ProcessLoggingEnvironment();
    EXPECT_EQ(environment.exeDir, c.exeDir);
    // The configuration that is named after the executable keeps the executable's name.
    EXPECT_EQ(environment.exeName, platform::PathFindFileName(platform::ExecutablePath()));
  }
}

}  // namespace
}  // namespace sondrel
