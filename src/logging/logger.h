// A logger of one category: its level test, its current settings and its reload rule.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "logging/logger_settings.h"
#include "logging/logging_environment.h"
#include "logging/spin_lock.h"

namespace sondrel {

class Logger {
 public:
  // Builds the settings for the category at once (from the environment's configuration files).
  Logger(std::string category, std::shared_ptr<const LoggingEnvironment> environment);
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  const std::string& category() const { return category_; }
  int32_t level() const { return level_.load(std::memory_order_relaxed); }
  // A message of this level is written when the logger's level is at least as high.
  bool IsEnabled(int32_t level) const { return this->level() >= level; }

  // The reload check made by every suppressed statement: re-reads the configuration when
  // monitoring is on and the interval has passed. Never throws.
  void CheckReload() noexcept;
  // Writes one message at a level that passed the level test. Never throws.
  void Write(int32_t level, const std::string& text) noexcept;

  std::shared_ptr<const LoggerSettings> settings() const;
  // Reloads when more than intervalSeconds (600 when 0) have passed since the last load.
  void ReloadIfDue(int32_t intervalSeconds);
  // Re-reads the configuration, at most once every 5 seconds.
  void Reload();
  // Switches the logger off until a reload gives it a level again (its file cannot be opened).
  void Silence();

 private:
  void Adopt(std::shared_ptr<const LoggerSettings> settings);
  int64_t Now() const { return environment_->nowSeconds(); }

  const std::string category_;
  const std::shared_ptr<const LoggingEnvironment> environment_;
  mutable SpinLock settingsLock_;
  std::shared_ptr<const LoggerSettings> settings_;
  std::atomic<int64_t> lastLoadTime_{0};
  std::atomic<int32_t> level_{kLevelInfo};
  std::atomic<int32_t> reloadInterval_{0};
  std::atomic<bool> monitor_{false};
};

using LoggerPtr = std::shared_ptr<Logger>;

}  // namespace sondrel
