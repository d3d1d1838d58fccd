// The memory-manager interface behind the object-model string type.
#pragma once

#include <cstddef>

namespace qx {

class IMemMgr {
 public:
  virtual void* Allocate(size_t bytes) = 0;
  virtual void* Reallocate(void* block, size_t bytes) = 0;
  virtual void Free(void* block) = 0;
  // Gives unused memory back to the system where the manager can.
  virtual void Compact() = 0;

 protected:
  ~IMemMgr() = default;
};

}  // namespace qx
