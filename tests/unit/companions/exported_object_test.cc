#include "companions/exported_object.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "companion_test_paths.h"
#include "companions/i_monitor_receiver.h"
#include "companions/i_serv_plugin.h"
#include "companions/monitor_receiver_module.h"
#include "fake_companions/companion_calls.h"

namespace sondrel {
namespace {

using Calls = std::vector<std::string>;
using test::CompanionCalls;

void ExpectEmpty(const ExportedObjectBase& holder, const ExportedObject<IServPlugin>& typed) {
  EXPECT_FALSE(holder.loaded());
  EXPECT_EQ(typed.interface(), nullptr);
  EXPECT_EQ(holder.name(), L"");
}

TEST(ExportedObjectTest, LoadsTheNamedObjectAndReleasesItThroughItsLibrary) {
  test::ClearCompanionCalls();
  ExportedObject<IServPlugin> holder;
  ASSERT_EQ(holder.Load(test::FakeCompanionPath(), L"Serving", kServPluginId), 0);
  EXPECT_TRUE(holder.loaded());
  EXPECT_NE(holder.interface(), nullptr);
  EXPECT_EQ(holder.name(), L"Serving");
  EXPECT_EQ(CompanionCalls(), (Calls{"load", "create Serving", "query"}));

  holder.Release();
  ExpectEmpty(holder, holder);
  EXPECT_EQ(CompanionCalls(),
            (Calls{"load", "create Serving", "query", "destroy Serving", "unload"}));
}

struct FailedLoad {
  const char* label;
  std::wstring path;
  std::wstring name;
  int32_t code;  // -1: any non-zero code
  Calls calls;
};

TEST(ExportedObjectTest, EveryFailedLoadLeavesTheHolderEmptyAndTheLibraryUnloaded) {
  const std::vector<FailedLoad> cases = {
      {"no such library", L"/nonexistent/Merrin.so", L"Merrin", -1, {}},
      {"no QxDestroyObject", test::FakeNoDestroyPath(), L"Merrin", 632, {"load", "unload"}},
      {"factory fails",
       test::FakeCompanionPath(),
       L"CreateFails",
       5,
       {"load", "create CreateFails", "unload"}},
      {"null interface",
       test::FakeCompanionPath(),
       L"NullInterface",
       632,
       {"load", "create NullInterface", "query", "destroy NullInterface", "unload"}},
  };
  for (const FailedLoad& failure : cases) {
    SCOPED_TRACE(failure.label);
    test::ClearCompanionCalls();
    ExportedObject<IServPlugin> holder;
    const int32_t code = holder.Load(failure.path, failure.name, kServPluginId);
    if (failure.code == -1) {
      EXPECT_NE(code, 0);
    } else {
      EXPECT_EQ(code, failure.code);
    }
    ExpectEmpty(holder, holder);
    EXPECT_EQ(CompanionCalls(), failure.calls);
  }
}

TEST(ExportedObjectTest, ReleasingAnEmptyHolderDoesNothing) {
  test::ClearCompanionCalls();
  ExportedObject<IServPlugin> holder;
  holder.Release();
  holder.Release();
  ExpectEmpty(holder, holder);
  EXPECT_EQ(CompanionCalls(), Calls{});
}

TEST(ExportedObjectTest, LoadReleasesWhatTheHolderHeldBefore) {
  test::ClearCompanionCalls();
  {
    ExportedObject<IServPlugin> holder;
    ASSERT_EQ(holder.Load(test::FakeCompanionPath(), L"First", kServPluginId), 0);
    ASSERT_EQ(holder.Load(test::FakeCompanionPath(), L"Second", kServPluginId), 0);
    EXPECT_EQ(holder.name(), L"Second");
  }
  EXPECT_EQ(CompanionCalls(),
            (Calls{"load", "create First", "query", "destroy First", "unload", "load",
                   "create Second", "query", "destroy Second", "unload"}));
}

TEST(ExportedObjectTest, TheMonitorReceiverModuleReleasesItsSecondHolderFirst) {
  for (const bool byDestructor : {false, true}) {
    SCOPED_TRACE(byDestructor ? "destructor" : "Release");
    test::ClearCompanionCalls();
    {
      MonitorReceiverModule module;
      ASSERT_EQ(module.receiver.Load(test::FakeCompanionPath(), L"First", kMonitorReceiverId), 0);
      // The client never fills the second holder; any interface of the fake does here.
      ASSERT_EQ(module.receiver2.Load(test::FakeCompanionPath(), L"Second", kServPluginId), 0);
      EXPECT_NE(module.receiver.interface(), nullptr);
      test::ClearCompanionCalls();
      if (!byDestructor) {
        module.Release();
        EXPECT_FALSE(module.receiver.loaded());
        EXPECT_FALSE(module.receiver2.loaded());
      }
    }
    // The library is loaded once for both holders, so it goes with the second release.
    EXPECT_EQ(CompanionCalls(), (Calls{"destroy Second", "destroy First", "unload"}));
  }
}

}  // namespace
}  // namespace sondrel
