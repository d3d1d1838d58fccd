#include "qx/string_mem_mgr.h"

#include <cstdlib>

namespace qx {

void* StringMemMgr::Allocate(size_t bytes) {
  return std::malloc(bytes);
}

void* StringMemMgr::Reallocate(void* block, size_t bytes) {
  return std::realloc(block, bytes);
}

void StringMemMgr::Free(void* block) {
  std::free(block);
}

void StringMemMgr::Compact() {}

StringMemMgr& StringMemMgr::Instance() {
  static StringMemMgr manager;
  return manager;
}

}  // namespace qx
