#include "qx/string_t.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "qx/string_mem_mgr.h"

namespace qx {
namespace {

// Counts the manager's operations to show that strings go through it.
class CountingMemMgr final : public IMemMgr {
 public:
  void* Allocate(size_t bytes) override {
    ++allocations;
    return StringMemMgr::Instance().Allocate(bytes);
  }
  void* Reallocate(void* block, size_t bytes) override {
    ++reallocations;
    return StringMemMgr::Instance().Reallocate(block, bytes);
  }
  void Free(void* block) override {
    ++frees;
    StringMemMgr::Instance().Free(block);
  }
  void Compact() override {}

  int allocations = 0;
  int reallocations = 0;
  int frees = 0;
};

TEST(StringTTest, HoldsCopiesAndCompares) {
  StringT empty;
  EXPECT_STREQ(empty.GetString(), L"");
  EXPECT_TRUE(empty.IsEmpty());

  StringT a(L"scan1.example");
  StringT b = a;
  EXPECT_EQ(a, b);
  EXPECT_NE(a.GetString(), b.GetString());
  b = L"other";
  EXPECT_EQ(b.GetLength(), 5u);
  EXPECT_EQ(a, std::wstring_view(L"scan1.example"));
  StringT moved = std::move(b);
  EXPECT_EQ(moved, std::wstring_view(L"other"));
  moved = moved;  // self-assignment keeps the text
  EXPECT_EQ(moved, std::wstring_view(L"other"));
  moved = std::wstring_view(moved.GetString() + 1);  // assigning a piece of itself
  EXPECT_EQ(moved, std::wstring_view(L"ther"));
  moved.Empty();
  EXPECT_STREQ(moved.GetString(), L"");
}

TEST(StringTTest, MemoryComesFromItsManager) {
  CountingMemMgr manager;
  {
    StringT text(manager);
    text = L"short";
    text = L"a longer text that needs a larger buffer";
    text = L"tiny";
    EXPECT_EQ(manager.allocations, 1);
    EXPECT_EQ(manager.reallocations, 1);
    StringT copy = text;
    EXPECT_EQ(&copy.GetManager(), &manager);
  }
  EXPECT_EQ(manager.frees, 2);
  StringMemMgr::Instance().Compact();
}

TEST(StringTTest, GuardWordsSurroundTheText) {
  StringT text(L"abc");
  const wchar_t* chars = text.GetString();
  uint32_t after;
  std::memcpy(&after, chars + 4, sizeof after);  // after "abc" and its terminator
  uint32_t beforeText;
  std::memcpy(&beforeText, reinterpret_cast<const char*>(chars) - 4, sizeof beforeText);
  EXPECT_EQ(after, kStringGuard);
  EXPECT_EQ(beforeText, kStringGuard);
}

void OverwriteGuardAfterTextThenRelease() {
  auto* text = new StringT(L"abc");
  auto* chars = const_cast<wchar_t*>(text->GetString());
  chars[4] = L'X';  // the guard word after the terminator
  delete text;
}

void OverwriteHeaderGuardThenReassign() {
  StringT text(L"abc");
  auto* bytes = reinterpret_cast<char*>(const_cast<wchar_t*>(text.GetString()));
  bytes[-4] = 0;  // the guard word between the header and the text
  text = L"new";
}

TEST(StringTDeathTest, DamagedGuardIsFatal) {
  EXPECT_DEATH(OverwriteGuardAfterTextThenRelease(), "guard word 0xABCD damaged.*release");
  EXPECT_DEATH(OverwriteHeaderGuardThenReassign(), "guard word 0xABCD damaged.*reassign");
}

TEST(PathStringTTest, FixedBufferOf260) {
  PathStringT path;
  EXPECT_STREQ(path.GetString(), L"");
  EXPECT_TRUE(path.Assign(L"/opt/engine"));
  EXPECT_EQ(path.View(), L"/opt/engine");
  EXPECT_TRUE(path.Assign(std::wstring(259, L'a')));
  EXPECT_FALSE(path.Assign(std::wstring(260, L'b')));
  EXPECT_EQ(path.GetLength(), 259u);
  PathStringT copy = path;
  EXPECT_EQ(copy.View(), path.View());
}

void OverrunFixedBuffer() {
  PathStringT path;
  auto* chars = const_cast<wchar_t*>(path.GetString());
  chars[260] = L'X';  // one past the buffer: the guard
}

TEST(PathStringTDeathTest, DamagedGuardIsFatal) {
  EXPECT_DEATH(OverrunFixedBuffer(), "guard word 0xABCD damaged.*release");
}

}  // namespace
}  // namespace qx
