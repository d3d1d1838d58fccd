// The shared library as a host sees it: loaded at run time, six functions, one object each.
// (The library logs with its own configuration: its log file lands beside the test.)
#include <gtest/gtest.h>

#include "platform/module_loader.h"
#include "platform/utf8.h"
#include "sondrel/sondrel.h"

namespace sondrel {
namespace {

class LibraryTest : public testing::Test {
 protected:
  void SetUp() override {
    uint32_t error = 0;
    module_ = platform::LoadModule(platform::ToWide(SONDREL_LIBRARY), &error);
    ASSERT_NE(module_, nullptr) << platform::LastModuleError();
    coreNew_ = Resolve<decltype(&CoreNew)>("CoreNew");
    coreFree_ = Resolve<decltype(&CoreFree)>("CoreFree");
    coreInit_ = Resolve<decltype(&CoreInit)>("CoreInit");
    coreScan_ = Resolve<decltype(&CoreScan)>("CoreScan");
    coreUninit_ = Resolve<decltype(&CoreUninit)>("CoreUninit");
    coreDisinfect_ = Resolve<decltype(&CoreDisinfect)>("CoreDisinfect");
  }
  void TearDown() override { platform::FreeModule(module_); }

  template <typename Function>
  Function Resolve(const char* name) {
    auto function = reinterpret_cast<Function>(platform::GetModuleSymbol(module_, name));
    EXPECT_NE(function, nullptr) << name;
    return function;
  }

  platform::ModuleHandle module_ = nullptr;
  decltype(&CoreNew) coreNew_ = nullptr;
  decltype(&CoreFree) coreFree_ = nullptr;
  decltype(&CoreInit) coreInit_ = nullptr;
  decltype(&CoreScan) coreScan_ = nullptr;
  decltype(&CoreUninit) coreUninit_ = nullptr;
  decltype(&CoreDisinfect) coreDisinfect_ = nullptr;
};

TEST_F(LibraryTest, CreatesIndependentClientsAndFreesThemWhole) {
  SondrelObject* first = coreNew_();
  SondrelObject* second = coreNew_();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);

  SondrelScanContext* context = nullptr;
  EXPECT_EQ(coreInit_(first, &context, nullptr), 0);
  EXPECT_NE(context, nullptr);
  int32_t flags = 0;
  ScanRequest request{};
  request.path = "/data/file.bin";
  request.flags = &flags;
  const HostCallbacks callbacks{};
  // Remote scanning is off in the built-in settings.
  EXPECT_EQ(coreScan_(first, &callbacks, &request, context), 0);
  EXPECT_EQ(flags, SONDREL_FLAG_SCAN_DISABLED);
  EXPECT_EQ(coreDisinfect_(first, &callbacks, nullptr, context),
            static_cast<int32_t>(SONDREL_STATUS_NOT_SCANNED));
  EXPECT_EQ(coreUninit_(first, context, SONDREL_UNINIT_FINAL), 0);

  coreFree_(first);
  coreFree_(second);
  coreFree_(nullptr);
}

}  // namespace
}  // namespace sondrel
