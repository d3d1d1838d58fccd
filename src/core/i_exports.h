// The interface behind the six exported functions. CoreNew hands out a pointer to this base of
// the client object; the other exports forward to its operations.
#pragma once

#include <cstdint>

#include "scan/scan_context.h"
#include "sondrel/sondrel.h"

namespace sondrel {

class IExports {
 public:
  virtual ~IExports() = default;

  // Stores a new context for the calling host thread in *context. path: the engine directory,
  // UTF-8, may be null.
  virtual int32_t Init(ScanContext** context, const char* path) = 0;
  virtual int32_t Scan(const HostCallbacks* callbacks, ScanRequest* request,
                       ScanContext* context) = 0;
  // Destroys the context (null allowed); a non-zero low byte of flags shuts the client down.
  // Always 0.
  virtual int32_t Uninit(ScanContext* context, int32_t flags) = 0;
  virtual int32_t Disinfect(const HostCallbacks* callbacks, const DisinfectRequest* request,
                            ScanContext* context) = 0;
};

}  // namespace sondrel
