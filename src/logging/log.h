// The logging statement. A message below the logger's level costs one integer comparison and
// the reload check; its text is never built:
//
//   LOG_INFO(logger_, "Connected! " << host << ":" << port);
//
// `logger` is anything that dereferences to a Logger (normally a LoggerPtr).
#pragma once

#include "logging/level.h"
#include "logging/log_stream.h"
#include "logging/logger.h"
#include "logging/logger_registry.h"

// Logging never throws into its caller: a failure while the text is built is swallowed here, and
// Logger::Write and CheckReload swallow their own.
#define SONDREL_LOG(logger, level, message)                    \
  do {                                                         \
    ::sondrel::Logger& sondrel_logger_ = *(logger);            \
    if (!sondrel_logger_.IsEnabled(level)) {                   \
      sondrel_logger_.CheckReload();                           \
    } else {                                                   \
      try {                                                    \
        ::sondrel::LogStream sondrel_stream_;                  \
        sondrel_stream_ << message;                            \
        sondrel_logger_.Write((level), sondrel_stream_.str()); \
      } catch (...) {                                          \
      }                                                        \
    }                                                          \
  } while (false)

#define LOG_FATAL(logger, message) SONDREL_LOG(logger, ::sondrel::kLevelFatal, message)
#define LOG_ERROR(logger, message) SONDREL_LOG(logger, ::sondrel::kLevelError, message)
#define LOG_WARN(logger, message) SONDREL_LOG(logger, ::sondrel::kLevelWarn, message)
#define LOG_INFO(logger, message) SONDREL_LOG(logger, ::sondrel::kLevelInfo, message)
#define LOG_DEBUG(logger, message) SONDREL_LOG(logger, ::sondrel::kLevelDebug, message)
#define LOG_TRACE(logger, message) SONDREL_LOG(logger, ::sondrel::kLevelTrace, message)
