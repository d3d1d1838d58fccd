#include "platform/module_loader.h"

#include <gtest/gtest.h>

#include "platform/utf8.h"

namespace sondrel::platform {
namespace {

TEST(ModuleLoaderTest, LoadsResolvesAndFrees) {
  uint32_t error = 99;
  ModuleHandle module = LoadModule(ToWide(SONDREL_TEST_MODULE), &error);
  ASSERT_NE(module, nullptr) << LastModuleError();
  EXPECT_EQ(error, 0u);
  auto* answer = reinterpret_cast<int (*)()>(GetModuleSymbol(module, "TestModuleAnswer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  EXPECT_EQ(GetModuleSymbol(module, "NoSuchExport"), nullptr);
  FreeModule(module);
}

TEST(ModuleLoaderTest, MissingModuleReportsANonZeroCode) {
  uint32_t error = 0;
  EXPECT_EQ(LoadModule(L"/nonexistent/Merrin" + ModuleSuffix(), &error), nullptr);
  EXPECT_NE(error, 0u);
  EXPECT_NE(LastModuleError(), "");
  EXPECT_EQ(GetModuleSymbol(nullptr, "QxCreateObject"), nullptr);
  FreeModule(nullptr);
}

}  // namespace
}  // namespace sondrel::platform
