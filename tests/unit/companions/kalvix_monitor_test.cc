// The internal monitor over real client objects (with scripted connection managers): the settings
// of Kalvix.json at registration and after every usable change of the file, one log line for
// every unusable one, the status socket's document, the hand-over of slot pairs to the client
// that replaces another, and the plug-in's answers to its events.
#include <gtest/gtest.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/local/stream_protocol.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "companions/serv_plugin.h"
#include "core/c_sondrel.h"
#include "kalvix_monitor.h"
#include "kalvix_plugin.h"
#include "logging/logger_registry.h"
#include "objectmodel/can_scan_event.h"
#include "objectmodel/proxy.h"
#include "objectmodel/slot_mappings.h"
#include "platform/utf8.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"
#include "unit/core/scripted_comm_client.h"
#include "unit/slots/scripted_endpoints.h"

namespace sondrel::kalvix {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using nlohmann::json;
using test::LogCapture;
using test::ScriptedCommClient;

constexpr ServerIdentity kServer = {0xC1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xC2};
constexpr ServerIdentity kGranted = {0x5A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01};

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 4000ms) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

std::string ConfigNaming(const std::string& server, const std::string& extra = "") {
  return R"({"settings": {"enableScan": true, "preferLocalToOverloaded": true,
             "detectLatency": true, "servers": [{"address": ")" +
         server + R"("}]})" + extra + "}";
}

// A client object with its scripted connection manager, the plug-in object it would get from
// Kalvix.so, and the endpoint its visits of the servers see.
struct HostClient {
  explicit HostClient(KalvixMonitor& monitor) : plugin(monitor) {
    client.SetInitEnvironment({.makeCommClient =
                                   [this] {
                                     auto made = std::make_unique<ScriptedCommClient>();
                                     comm = made.get();
                                     made->endpoints = {&endpoint};
                                     return made;
                                   },
                               .settingsDirectory = L"/nonexistent",
                               .executableDirectory = L"/nonexistent/",
                               .libraryDirectory = L"/nonexistent/",
                               .settleTime = 0ms});
    plugin.Initialise(0);
    plugin.Start();
  }
  ~HostClient() {
    if (context != nullptr) {
      client.Uninit(context, SONDREL_UNINIT_FINAL);
    }
  }

  int32_t Register() { return plugin.Notify(kEventRegister, client.Face()); }
  void Init() { ASSERT_EQ(client.Init(&context, nullptr), 0); }

  std::vector<test::SentSlotMessage> sent;
  test::ScriptedEndpoint endpoint{"scan1.example", kServer, sent};
  CSondrel client;
  ScriptedCommClient* comm = nullptr;
  ScanContext* context = nullptr;
  KalvixPlugin plugin;
};

class KalvixMonitorTest : public testing::Test {
 protected:
  KalvixMonitorTest()
      : monitor_(configPath().wstring(), GetLogger("qx.sondrel.kalvix"),
                 {.quiet = 50ms, .interval = 100ms, .status = {.timeout = 1000ms}}) {}

  fs::path configPath() const { return directory_.path() / "Kalvix.json"; }
  std::string socketPath() const { return (directory_.path() / "status.sock").string(); }
  // Replaces the file at once, as an editor that saves through a new file does.
  void WriteConfig(const std::string& text) const {
    directory_.Write("Kalvix.json.new", text);
    fs::rename(directory_.path() / "Kalvix.json.new", configPath());
  }

  json Status() const {
    boost::asio::io_context io;
    boost::asio::local::stream_protocol::socket socket(io);
    socket.connect(boost::asio::local::stream_protocol::endpoint(socketPath()));
    boost::asio::write(socket, boost::asio::buffer(std::string("status\n")));
    std::string answer;
    boost::system::error_code error;
    boost::asio::read(socket, boost::asio::dynamic_buffer(answer), error);
    return json::parse(answer);
  }

  test::TempDir directory_;
  KalvixMonitor monitor_;
};

TEST_F(KalvixMonitorTest, TheFileSuppliesTheSettingsAndEveryUsableChangeOfIt) {
  WriteConfig(ConfigNaming("a.example"));
  HostClient host(monitor_);
  LogCapture capture;
  ASSERT_EQ(host.Register(), 0);
  Settings expected;
  expected.enableScan = expected.preferLocalToOverloaded = expected.detectLatency = true;
  expected.servers.resize(1);
  expected.servers[0].address = L"a.example";
  EXPECT_EQ(host.client.settings().GetSettings(), expected);
  EXPECT_TRUE(capture.Contains("Kalvix: settings of " + configPath().string() +
                               " handed to the client, result 1627"));

  host.Init();
  ASSERT_EQ(host.comm->servers.size(), 1u);
  EXPECT_EQ(host.comm->servers[0].address, "a.example");

  WriteConfig(ConfigNaming("b.example"));
  ASSERT_TRUE(WaitFor([&] { return host.comm->reloads == 1; }));
  EXPECT_EQ(host.comm->servers[0].address, "b.example");
  // Saved again unchanged: nothing to apply.
  WriteConfig(ConfigNaming("b.example"));
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(host.comm->reloads, 1);

  struct Edit {
    const char* what;
    std::function<void()> make;
    const char* reason;
  };
  const Edit edits[] = {
      {"malformed", [&] { WriteConfig("{\"settings\": "); }, "not valid JSON"},
      {"empty", [&] { WriteConfig(""); }, "the file is empty"},
      {"unknown key", [&] { WriteConfig(R"({"setings": {}})"); }, "unknown key setings"},
      {"missing", [&] { fs::remove(configPath()); }, "the file does not exist"},
      {"unreadable", [&] { fs::create_directory(configPath()); }, "the file cannot be read"},
  };
  for (const Edit& edit : edits) {
    SCOPED_TRACE(edit.what);
    LogCapture lines;
    edit.make();
    const std::string line = "Kalvix: cannot use " + configPath().string() + ": " + edit.reason +
                             "; the client keeps the settings it has";
    ASSERT_TRUE(lines.WaitFor(line));
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(lines.Count("Kalvix: cannot use"), 1u);
    EXPECT_EQ(host.comm->reloads, 1);
    EXPECT_EQ(host.client.settings().GetSettings().servers[0].address.View(), L"b.example");
  }
  fs::remove(configPath());
  WriteConfig(ConfigNaming("c.example"));
  ASSERT_TRUE(WaitFor([&] { return host.comm->reloads == 2; }));
  EXPECT_EQ(host.comm->servers[0].address, "c.example");
  EXPECT_EQ(host.plugin.Notify(kEventUnregister, host.client.Face()), 0);
}

TEST_F(KalvixMonitorTest, TheStatusSocketReportsConnectionsEventsAndSlotPairs) {
  WriteConfig(ConfigNaming("a.example", R"(, "statusSocket": "status.sock")"));
  HostClient host(monitor_);
  ASSERT_EQ(host.Register(), 0);
  json status = Status();
  EXPECT_EQ(status["settingsFile"], configPath().string());
  ASSERT_EQ(status["clients"].size(), 1u);
  EXPECT_TRUE(status["clients"][0]["connections"].is_null());  // no connection manager yet
  EXPECT_TRUE(status["clients"][0]["lastAvailabilityEvent"].is_null());
  EXPECT_EQ(status["clients"][0]["canScanRemote"], false);

  host.Init();
  host.comm->listed = {{3, 1, "7443", "a.example", "", 0, 1, ""}};
  const Kalvix::CanScanEvent pair{true, true};
  Kalvix::Proxy<const Kalvix::CanScanEvent> event(&pair, Kalvix::CanScanEventMapping());
  EXPECT_EQ(host.plugin.Notify(kEventCanScanChanged, &event), 0);
  EXPECT_EQ(host.plugin.Notify(kEventBestSessionChanged, nullptr), 0);
  status = Status();
  const json& client = status["clients"][0];
  EXPECT_EQ(client["canScan"], true);
  EXPECT_EQ(client["canScanRemote"], true);
  EXPECT_EQ(client["connections"], json::parse(R"([{"address": "a.example", "port": 7443,
      "tls": true, "priority": 3, "enforced": true}])"));
  EXPECT_EQ(client["lastAvailabilityEvent"]["canScanRemote"], true);
  EXPECT_TRUE(client["lastAvailabilityEvent"]["time"].get<std::string>().ends_with("Z"));
  EXPECT_TRUE(client["lastBestSessionEvent"]["time"].is_string());
  EXPECT_EQ(client["slotPairs"], 0);

  // The last client gone, the socket goes too.
  host.plugin.Stop();
  EXPECT_FALSE(fs::exists(socketPath()));
}

TEST_F(KalvixMonitorTest, TheClientRegisteredNextGetsTheSlotPairsOfTheOneBefore) {
  WriteConfig(ConfigNaming("a.example", R"(, "statusSocket": "status.sock")"));
  HostClient old(monitor_);
  ASSERT_EQ(old.Register(), 0);
  old.Init();
  old.endpoint.allocations.push_back({0, test::GrantPayload(kGranted)});
  SlotEnvelope envelope;
  Kalvix::Proxy<SlotEnvelope> argument(&envelope, Kalvix::SlotEnvelopeMapping());
  ASSERT_EQ(old.client.Face()->Set(Kalvix::kFunctionAllocateSlot,
                                   static_cast<Kalvix::IObject*>(&argument)),
            0);

  HostClient next(monitor_);
  LogCapture capture;
  ASSERT_EQ(next.Register(), 0);
  EXPECT_TRUE(capture.Contains(
      "Kalvix: 1 slot pairs handed from the previous client to the new one, result 0"));
  EXPECT_EQ(Status()["clients"][1]["slotPairs"], 1);
  next.Init();
  ASSERT_FALSE(next.sent.empty());
  EXPECT_EQ(next.sent.back().type, 114u);  // kept on the server
  EXPECT_EQ(next.client.slots().CurrentPairs(),
            (std::vector<SlotPair>{{envelope.slot, envelope.slot}}));
  std::vector<SlotPair> none;
  EXPECT_FALSE(old.client.slots().TakeCurrentPairs(none));

  // A file that says no: the next client takes nothing over.
  WriteConfig(ConfigNaming("a.example", R"(, "handOverSlotPairs": false)"));
  ASSERT_TRUE(WaitFor([&] { return next.comm->reloads == 1; }));
  HostClient third(monitor_);
  LogCapture quiet;
  ASSERT_EQ(third.Register(), 0);
  EXPECT_FALSE(quiet.Contains("slot pairs"));
  EXPECT_EQ(next.client.slots().CurrentPairs().size(), 1u);
}

// A read-only object whose reads fail.
class Unreadable final : public Kalvix::IObject {
 public:
  int32_t Set(uint32_t, ...) override { return Kalvix::kResultReadOnly; }
  int32_t Get(uint32_t, ...) override { return Kalvix::kResultIdOutOfRange; }
  int32_t CopyTo(Kalvix::IObject*) override { return Kalvix::kResultNotSupported; }
  int32_t GetVersion() override { return 1; }
};

TEST_F(KalvixMonitorTest, ThePluginAnswersEveryEventAndForgetsItsClientWhenStopped) {
  HostClient host(monitor_);
  HostClient other(monitor_);
  EXPECT_EQ(host.plugin.GetService(kInternalMonitorServiceId),
            static_cast<IInternalMonitorClient*>(&host.plugin));
  EXPECT_EQ(host.plugin.GetService(kResponseCacheServiceId), nullptr);
  Unreadable unreadable;
  LogCapture capture;
  EXPECT_EQ(host.plugin.Notify(kEventRegister, nullptr), Kalvix::kResultNotFound);
  EXPECT_EQ(host.Register(), 0);  // no file: one line, and the client keeps its settings
  EXPECT_EQ(capture.Count("Kalvix: cannot use"), 1u);
  EXPECT_EQ(host.client.settings().GetSettings(), Settings());
  EXPECT_EQ(host.Register(), 0);  // again, as a retried Init does
  EXPECT_EQ(host.plugin.Notify(kEventRegister, other.client.Face()), Kalvix::kResultRefused);
  EXPECT_EQ(host.plugin.Notify(kEventUnregister, other.client.Face()), Kalvix::kResultNotFound);
  EXPECT_EQ(host.plugin.Notify(kEventCanScanChanged, nullptr), Kalvix::kResultNotFound);
  EXPECT_EQ(host.plugin.Notify(kEventCanScanChanged, &unreadable), Kalvix::kResultNotFound);
  EXPECT_EQ(host.plugin.Notify(0x11005, nullptr), Kalvix::kResultNotSupported);
  EXPECT_FALSE(host.plugin.Events().availabilityTime);

  host.plugin.Stop();
  EXPECT_EQ(host.plugin.GetService(kInternalMonitorServiceId), nullptr);
  EXPECT_EQ(json::parse(monitor_.Status())["clients"].size(), 0u);
  EXPECT_EQ(host.plugin.Notify(kEventUnregister, host.client.Face()), Kalvix::kResultNotFound);
  // Registered again, it is known again; its destruction forgets it.
  EXPECT_EQ(host.Register(), 0);
  {
    HostClient shortLived(monitor_);
    EXPECT_EQ(shortLived.Register(), 0);
    EXPECT_EQ(json::parse(monitor_.Status())["clients"].size(), 2u);
  }
  EXPECT_EQ(json::parse(monitor_.Status())["clients"].size(), 1u);
}

// The library itself: its factory makes plug-ins that serve the internal monitor client, and
// nothing else.
TEST(KalvixLibraryTest, ServesTheInternalMonitorClientAndNothingElse) {
  const std::wstring library = platform::ToWide(SONDREL_KALVIX);
  ServPluginModule holder;
  IInternalMonitorClient* service = nullptr;
  ASSERT_TRUE(StartPlugin(holder, service, library, L"InternalOstrel", kInternalMonitorServiceId));
  EXPECT_EQ(service->Notify(kEventRegister, nullptr), Kalvix::kResultNotFound);
  StopPlugin(holder, service);
  EXPECT_NE(holder.Load(library, L"monitorReceiver", kServPluginId), 0);
  EXPECT_NE(holder.Load(library, L"InternalOstrel", kMonitorReceiverId), 0);
  EXPECT_FALSE(holder.loaded());
}

}  // namespace
}  // namespace sondrel::kalvix
