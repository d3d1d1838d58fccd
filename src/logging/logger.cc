#include "logging/logger.h"

#include <mutex>

#include "logging/line_writer.h"
#include "logging/settings_builder.h"

namespace sondrel {
namespace {

constexpr int32_t kDefaultReloadSeconds = 600;
constexpr int64_t kMinimumReloadGapSeconds = 5;

}  // namespace

Logger::Logger(std::string category, std::shared_ptr<const LoggingEnvironment> environment)
    : category_(std::move(category)), environment_(std::move(environment)) {
  lastLoadTime_ = Now();
  Adopt(std::make_shared<const LoggerSettings>(BuildLoggerSettings(category_, *environment_)));
}

std::shared_ptr<const LoggerSettings> Logger::settings() const {
  std::lock_guard<SpinLock> hold(settingsLock_);
  return settings_;
}

void Logger::Adopt(std::shared_ptr<const LoggerSettings> settings) {
  level_ = settings->level;
  reloadInterval_ = settings->reloadSeconds;
  monitor_ = settings->monitor;
  std::lock_guard<SpinLock> hold(settingsLock_);
  settings_ = std::move(settings);
}

void Logger::CheckReload() noexcept {
  if (!monitor_.load(std::memory_order_relaxed)) {
    return;
  }
  try {
    int32_t interval = reloadInterval_.load(std::memory_order_relaxed);
    if (interval == 0) {
      const auto current = settings();
      interval = current ? current->reloadSeconds : 0;
    }
    ReloadIfDue(interval);
  } catch (...) {
  }
}

void Logger::ReloadIfDue(int32_t intervalSeconds) {
  const int64_t interval = intervalSeconds != 0 ? intervalSeconds : kDefaultReloadSeconds;
  if (Now() - lastLoadTime_.load(std::memory_order_relaxed) > interval) {
    Reload();
  }
}

void Logger::Reload() {
  const int64_t now = Now();
  int64_t last = lastLoadTime_.load();
  // One thread wins the right to reload; the others go on with the current settings.
  if (now - last < kMinimumReloadGapSeconds || !lastLoadTime_.compare_exchange_strong(last, now)) {
    return;
  }
  Adopt(std::make_shared<const LoggerSettings>(BuildLoggerSettings(category_, *environment_)));
}

void Logger::Silence() {
  level_ = kLevelNone;
  reloadInterval_ = 0;
}

void Logger::Write(int32_t level, const std::string& text) noexcept {
  try {
    const auto snapshot = settings();
    if (snapshot) {
      WriteLine(LevelName(level), text, *this, *snapshot);
    }
  } catch (...) {
  }
}

}  // namespace sondrel
