#include "companions/serv_plugin.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "companion_test_paths.h"
#include "companions/i_internal_monitor_client.h"
#include "fake_companions/companion_calls.h"

namespace sondrel {
namespace {

using Calls = std::vector<std::string>;
using test::CompanionCalls;

TEST(ServPluginTest, StartsServesAndStopsInOrder) {
  test::ClearCompanionCalls();
  ServPluginModule holder;
  IInternalMonitorClient* service = nullptr;
  ASSERT_TRUE(StartPlugin(holder, service, test::FakeCompanionPath(), L"InternalOstrel",
                          kInternalMonitorServiceId));
  ASSERT_NE(service, nullptr);
  EXPECT_EQ(service->Notify(kEventBestSessionChanged, nullptr), 0);
  EXPECT_EQ(CompanionCalls(), (Calls{"load", "create InternalOstrel", "query", "initialise 0",
                                     "start", "get service", "notify 0x11004 none"}));

  test::ClearCompanionCalls();
  StopPlugin(holder, service);
  EXPECT_EQ(service, nullptr);
  EXPECT_FALSE(holder.loaded());
  EXPECT_EQ(CompanionCalls(), (Calls{"stop", "uninitialise", "destroy InternalOstrel", "unload"}));
}

struct FailedStart {
  std::wstring name;
  Calls calls;
};

TEST(ServPluginTest, EachFailingStepUndoesTheStepsBeforeItInReverseOrder) {
  const std::vector<FailedStart> cases = {
      {L"CreateFails", {"load", "create CreateFails", "unload"}},
      {L"InitFails",
       {"load", "create InitFails", "query", "initialise 0", "destroy InitFails", "unload"}},
      {L"StartFails",
       {"load", "create StartFails", "query", "initialise 0", "start", "uninitialise",
        "destroy StartFails", "unload"}},
      {L"NoService",
       {"load", "create NoService", "query", "initialise 0", "start", "get service", "stop",
        "uninitialise", "destroy NoService", "unload"}},
  };
  for (const FailedStart& failure : cases) {
    SCOPED_TRACE(std::string(failure.name.begin(), failure.name.end()));
    test::ClearCompanionCalls();
    ServPluginModule holder;
    IInternalMonitorClient* service = nullptr;
    EXPECT_FALSE(StartPlugin(holder, service, test::FakeCompanionPath(), failure.name,
                             kInternalMonitorServiceId));
    EXPECT_EQ(service, nullptr);
    EXPECT_FALSE(holder.loaded());
    EXPECT_EQ(CompanionCalls(), failure.calls);
  }
}

TEST(ServPluginTest, AHolderAlreadyServingOrAnEmptyPathIsLeftAlone) {
  ServPluginModule holder;
  IInternalMonitorClient* service = nullptr;
  ASSERT_TRUE(StartPlugin(holder, service, test::FakeCompanionPath(), L"InternalOstrel",
                          kInternalMonitorServiceId));
  IInternalMonitorClient* const serving = service;

  test::ClearCompanionCalls();
  EXPECT_FALSE(
      StartPlugin(holder, service, test::FakeCompanionPath(), L"Other", kInternalMonitorServiceId));
  EXPECT_EQ(service, serving);
  EXPECT_EQ(holder.name(), L"InternalOstrel");

  ServPluginModule other;
  IInternalMonitorClient* none = nullptr;
  EXPECT_FALSE(StartPlugin(other, none, L"", L"InternalOstrel", kInternalMonitorServiceId));
  EXPECT_FALSE(other.loaded());
  EXPECT_EQ(CompanionCalls(), Calls{});
}

TEST(ServPluginTest, StopWithoutAServiceDoesNothing) {
  test::ClearCompanionCalls();
  ServPluginModule holder;
  IInternalMonitorClient* service = nullptr;
  StopPlugin(holder, service);
  EXPECT_EQ(CompanionCalls(), Calls{});
}

}  // namespace
}  // namespace sondrel
