// The plug-in interface of the response cache and of the internal monitor client: initialised,
// started, asked for its service, and stopped and uninitialised again.
#pragma once

#include <cstdint>

#include "companions/guid.h"

namespace sondrel {

class IServPlugin {
 public:
  // Slot 0: the service with this identifier, or null.
  virtual void* GetService(Guid serviceId) = 0;
  // Slot 1: 0 on success; the client always passes 0.
  virtual int32_t Initialise(int32_t argument) = 0;
  // Slot 2.
  virtual void Uninitialise() = 0;
  // Slot 3: 0 on success.
  virtual int32_t Start() = 0;
  // Slot 4.
  virtual void Stop() = 0;

 protected:
  ~IServPlugin() = default;
};

}  // namespace sondrel
