// The exported functions as a host calls them: an exception inside the library never reaches
// the host; the call fails with its failure status instead.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <stdexcept>

#include "core/c_sondrel.h"
#include "sondrel/sondrel.h"
#include "support/temp_dir.h"
#include "unit/core/scripted_comm_client.h"

namespace sondrel::test {
namespace {

class ThrowingStart : public ScriptedCommClient {
 public:
  int32_t Start() override { throw std::runtime_error("no threads left"); }
};

CSondrel& ClientOf(SondrelObject* object) {
  return dynamic_cast<CSondrel&>(*reinterpret_cast<IExports*>(object));
}

TEST(ExportsTest, AnExceptionBecomesTheFailureStatusOfTheCall) {
  TempDir settings;
  SondrelObject* object = CoreNew();
  ClientOf(object).SetInitEnvironment(
      {.makeCommClient = [] { return std::make_unique<ThrowingStart>(); },
       .settingsDirectory = settings.path().wstring(),
       .settleTime = std::chrono::milliseconds(0)});
  SondrelScanContext* context = nullptr;
  EXPECT_EQ(CoreInit(object, &context, nullptr), SONDREL_STATUS_COMM_CLIENT_FAILED);
  EXPECT_EQ(context, nullptr);

  ScriptedCommClient* comm = nullptr;
  ClientOf(object).SetInitEnvironment({.makeCommClient =
                                           [&comm] {
                                             auto made = std::make_unique<ScriptedCommClient>();
                                             comm = made.get();
                                             return made;
                                           },
                                       .settingsDirectory = settings.path().wstring(),
                                       .settleTime = std::chrono::milliseconds(0)});
  Settings enabled;
  enabled.enableScan = true;
  ClientOf(object).settings().ApplySettings(enabled);
  ASSERT_EQ(CoreInit(object, &context, nullptr), 0);
  comm->ReportAvailability(false, 0);
  comm->ReportAvailability(true, 0);

  HostCallbacks callbacks{};
  callbacks.getSize = [](uint32_t*, uint32_t*, void*) -> int32_t {
    throw std::runtime_error("a host written in C++ that throws");
  };
  ScanRequest request{};
  request.path = "/data/file.bin";
  request.cacheAllowed = 1;
  EXPECT_EQ(CoreScan(object, &callbacks, &request, context), SONDREL_STATUS_NOT_SCANNED);
  const DisinfectRequest disinfect{nullptr, "/data/file.bin", nullptr, nullptr};
  EXPECT_EQ(CoreDisinfect(object, &callbacks, &disinfect, context), SONDREL_STATUS_NOT_SCANNED);
  EXPECT_EQ(CoreUninit(object, context, SONDREL_UNINIT_FINAL), 0);
  CoreFree(object);
}

}  // namespace
}  // namespace sondrel::test
