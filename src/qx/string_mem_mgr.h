// The memory manager of every StringT: the C heap. It keeps no state, so one instance serves the
// whole process.
#pragma once

#include "qx/mem_mgr.h"

namespace qx {

class StringMemMgr final : public IMemMgr {
 public:
  void* Allocate(size_t bytes) override;
  void* Reallocate(void* block, size_t bytes) override;
  void Free(void* block) override;
  // The C heap has nothing to give back on request: does nothing.
  void Compact() override;

  static StringMemMgr& Instance();
};

}  // namespace qx
