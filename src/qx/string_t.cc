#include "qx/string_t.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "qx/string_mem_mgr.h"

namespace qx {
namespace {

// Byte offsets inside a block. The header needs pointer alignment, so the first guard is the word
// right before it and the block starts with a word of padding.
constexpr size_t kGuardBeforeOffset = 4;
constexpr size_t kHeaderOffset = 8;
constexpr size_t kGuardAfterHeaderOffset = kHeaderOffset + 16;
constexpr size_t kTextOffset = kGuardAfterHeaderOffset + 4;

size_t BlockSize(size_t capacity) {
  return kTextOffset + (capacity + 1) * sizeof(wchar_t) + 4;
}

uint32_t LoadGuard(const unsigned char* at) {
  uint32_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

void StoreGuard(unsigned char* at) {
  std::memcpy(at, &kStringGuard, sizeof kStringGuard);
}

}  // namespace

[[noreturn]] void StringGuardDamaged(const char* where) {
  std::fprintf(stderr,
               "qx::StringT: guard word 0x%X damaged (found on %s); memory beside a string "
               "was overwritten\n",
               static_cast<unsigned>(kStringGuard), where);
  std::abort();
}

StringT::StringT(const wchar_t* text)
    : StringT(text == nullptr ? std::wstring_view() : std::wstring_view(text)) {}

StringT::StringT(std::wstring_view text) {
  Assign(text);
}

StringT::StringT(const StringT& other) : manager_(other.manager_) {
  Assign(other.View());
}

StringT::StringT(StringT&& other) noexcept : manager_(other.manager_), block_(other.block_) {
  other.block_ = nullptr;
}

StringT& StringT::operator=(const StringT& other) {
  if (this != &other) {
    Assign(other.View());
  }
  return *this;
}

StringT& StringT::operator=(StringT&& other) noexcept {
  if (this != &other) {
    Release();
    manager_ = other.manager_;
    block_ = other.block_;
    other.block_ = nullptr;
  }
  return *this;
}

StringT& StringT::operator=(std::wstring_view text) {
  Assign(text);
  return *this;
}

StringT& StringT::operator=(const wchar_t* text) {
  return *this = (text == nullptr ? std::wstring_view() : std::wstring_view(text));
}

StringT::~StringT() {
  Release();
}

const wchar_t* StringT::GetString() const {
  return block_ == nullptr ? L"" : text();
}

size_t StringT::GetLength() const {
  return block_ == nullptr ? 0 : header()->length;
}

void StringT::Empty() {
  Assign({});
}

IMemMgr& StringT::GetManager() const {
  return manager_ != nullptr ? *manager_ : StringMemMgr::Instance();
}

StringT::Header* StringT::header() const {
  return reinterpret_cast<Header*>(block_ + kHeaderOffset);
}

wchar_t* StringT::text() const {
  return reinterpret_cast<wchar_t*>(block_ + kTextOffset);
}

void StringT::CheckGuards(const char* where) const {
  const size_t capacity = header()->capacity;
  if (LoadGuard(block_ + kGuardBeforeOffset) != kStringGuard ||
      LoadGuard(block_ + kGuardAfterHeaderOffset) != kStringGuard ||
      LoadGuard(block_ + BlockSize(capacity) - 4) != kStringGuard) {
    StringGuardDamaged(where);
  }
}

void StringT::Assign(std::wstring_view source) {
  IMemMgr& manager = GetManager();
  // The source may live inside this very buffer; copy it before the buffer can move.
  const std::wstring copy(source);
  if (block_ != nullptr) {
    CheckGuards("reassign");
  }
  if (block_ == nullptr || header()->capacity < copy.size()) {
    void* grown = block_ == nullptr ? manager.Allocate(BlockSize(copy.size()))
                                    : manager.Reallocate(block_, BlockSize(copy.size()));
    if (grown == nullptr) {
      throw std::bad_alloc();
    }
    block_ = static_cast<unsigned char*>(grown);
    std::memset(block_, 0, kGuardBeforeOffset);
    *header() = Header{&manager, 0, static_cast<uint32_t>(copy.size())};
    StoreGuard(block_ + kGuardBeforeOffset);
    StoreGuard(block_ + kGuardAfterHeaderOffset);
    StoreGuard(block_ + BlockSize(copy.size()) - 4);
  }
  copy.copy(text(), copy.size());
  text()[copy.size()] = L'\0';
  header()->length = static_cast<uint32_t>(copy.size());
}

void StringT::Release() {
  if (block_ == nullptr) {
    return;
  }
  CheckGuards("release");
  header()->manager->Free(block_);
  block_ = nullptr;
}

}  // namespace qx
