// The wide, NUL-terminated string type of the object-model records. Its buffer comes from an
// IMemMgr (StringMemMgr unless told otherwise) and is laid out as
//   [guard][header: manager, length, capacity][guard][text ... NUL][guard]
// with every guard holding 0xABCD. The guards are checked whenever the buffer is released or
// reassigned; a damaged guard aborts the process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "qx/mem_mgr.h"
#include "qx/string_guard.h"

namespace qx {

class StringT {
 public:
  StringT() = default;
  explicit StringT(IMemMgr& manager) : manager_(&manager) {}
  StringT(const wchar_t* text);  // NOLINT(google-explicit-constructor): used like a string literal
  StringT(std::wstring_view text);  // NOLINT(google-explicit-constructor)
  StringT(const StringT& other);
  StringT(StringT&& other) noexcept;
  StringT& operator=(const StringT& other);
  StringT& operator=(StringT&& other) noexcept;
  StringT& operator=(std::wstring_view text);
  StringT& operator=(const wchar_t* text);
  ~StringT();

  // Never null: an empty string gives L"".
  const wchar_t* GetString() const;
  size_t GetLength() const;
  bool IsEmpty() const { return GetLength() == 0; }
  void Empty();
  std::wstring_view View() const { return {GetString(), GetLength()}; }
  IMemMgr& GetManager() const;

  friend bool operator==(const StringT& a, const StringT& b) { return a.View() == b.View(); }
  friend bool operator==(const StringT& a, std::wstring_view b) { return a.View() == b; }

 private:
  struct Header {
    IMemMgr* manager;
    uint32_t length;
    uint32_t capacity;
  };

  void Assign(std::wstring_view text);
  void Release();
  Header* header() const;
  wchar_t* text() const;
  void CheckGuards(const char* where) const;

  IMemMgr* manager_ = nullptr;
  // Start of the allocated block; null while the string has never held text.
  unsigned char* block_ = nullptr;
};

// A string with a fixed buffer of N wide characters, terminator included (N = 260 holds a path).
template <size_t N>
class FixedStringT {
 public:
  FixedStringT() = default;
  FixedStringT(const FixedStringT& other) { Assign(other.View()); }
  FixedStringT& operator=(const FixedStringT& other) {
    Assign(other.View());
    return *this;
  }
  ~FixedStringT() { CheckGuards("release"); }

  static constexpr size_t kCapacity = N - 1;

  // Replaces the text; text longer than kCapacity is refused and leaves the string unchanged.
  bool Assign(std::wstring_view text) {
    CheckGuards("reassign");
    if (text.size() > kCapacity) {
      return false;
    }
    text.copy(buffer_, text.size());
    buffer_[text.size()] = L'\0';
    length_ = text.size();
    return true;
  }
  void Empty() { Assign({}); }
  const wchar_t* GetString() const { return buffer_; }
  size_t GetLength() const { return length_; }
  bool IsEmpty() const { return length_ == 0; }
  std::wstring_view View() const { return {buffer_, length_}; }

 private:
  void CheckGuards(const char* where) const {
    if (guardBefore_ != kStringGuard || guardAfter_ != kStringGuard) {
      StringGuardDamaged(where);
    }
  }

  uint32_t guardBefore_ = kStringGuard;
  wchar_t buffer_[N] = {};
  uint32_t guardAfter_ = kStringGuard;
  size_t length_ = 0;
};

using PathStringT = FixedStringT<260>;

}  // namespace qx
