// A logging environment in a temporary directory with a clock the test moves by hand.
#pragma once

#include <atomic>
#include <memory>

#include "logging/logging_environment.h"
#include "support/temp_dir.h"

namespace sondrel::test {

class TestLoggingEnvironment {
 public:
  static constexpr uint32_t kProcessId = 4242;

  TestLoggingEnvironment() : now_(std::make_shared<std::atomic<int64_t>>(1'000'000)) {}

  // The environment as it stands; a logger keeps the one it was created with.
  std::shared_ptr<const LoggingEnvironment> Get(std::wstring exeName = L"scanhost") const {
    LoggingEnvironment environment;
    environment.exeDir = dir.wide();
    environment.exeName = std::move(exeName);
    environment.commonAppData = dir.wide() + L"appdata";
    environment.processId = kProcessId;
    environment.nowSeconds = [now = now_] { return now->load(); };
    return std::make_shared<const LoggingEnvironment>(std::move(environment));
  }
  void Advance(int64_t seconds) { *now_ += seconds; }
  std::wstring Path(const std::wstring& name) const { return dir.wide() + name; }

  TempDir dir;

 private:
  std::shared_ptr<std::atomic<int64_t>> now_;
};

}  // namespace sondrel::test
