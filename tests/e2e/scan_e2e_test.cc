// The client object end to end, as a host uses it: a settings file naming a scan server, Init,
// a scan and a disinfection served by a scanning fake server over loopback (it reads the file,
// reports, writes the cleaned bytes back), and the final Uninit.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/c_sondrel.h"
#include "support/fake_server/scanning_server.h"
#include "support/temp_dir.h"

namespace sondrel::test {
namespace {

// The host's file in memory, written to by a disinfection.
struct HostFile {
  std::string content;

  HostCallbacks Callbacks() {
    HostCallbacks callbacks{};
    callbacks.user = this;
    callbacks.getSize = [](uint32_t* low, uint32_t* high, void* user) {
      const uint64_t size = static_cast<HostFile*>(user)->content.size();
      *low = static_cast<uint32_t>(size);
      *high = static_cast<uint32_t>(size >> 32);
      return int32_t{0};
    };
    callbacks.read = [](void* buffer, const HostFileRange* range, uint32_t* read, void* user) {
      const std::string& content = static_cast<HostFile*>(user)->content;
      const size_t offset = std::min<size_t>(range->offset, content.size());
      *read = static_cast<uint32_t>(std::min<size_t>(range->count, content.size() - offset));
      std::memcpy(buffer, content.data() + offset, *read);
      return int32_t{0};
    };
    callbacks.write = [](const void* source, const HostFileRange* range, uint32_t* written,
                         void* user) {
      std::string& content = static_cast<HostFile*>(user)->content;
      content.replace(range->offset, range->count, static_cast<const char*>(source), range->count);
      *written = range->count;
      return int32_t{0};
    };
    return callbacks;
  }
};

TEST(ScanE2eTest, AHostScansAndDisinfectsThroughAScanServer) {
  ScanningServer server;
  TempDir dir;
  std::filesystem::create_directories(dir.path() / "settings");
  std::ofstream(dir.path() / "settings" / "qxcore.xml")
      << "<qxcore><server>127.0.0.1</server><port>" << server.port()
      << "</port><timeout>5000</timeout><minserverconnections>1</minserverconnections>"
         "<uselocalcache>0</uselocalcache></qxcore>";
  CSondrel client;
  client.SetInitEnvironment(
      {.settingsDirectory = dir.path().wstring(), .settleTime = std::chrono::milliseconds(0)});
  ScanContext* context = nullptr;
  ASSERT_EQ(client.Init(&context, dir.path().string().c_str()), 0);
  for (int i = 0; i < 500 && !client.canScanRemote(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(client.canScanRemote());

  HostFile file{"X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*"};
  HostCallbacks callbacks = file.Callbacks();
  int32_t verdict = 0;
  char threatName[64] = {};
  int32_t flags = 0;
  ScanRequest request{};
  request.path = "/tmp/eicar.com";
  request.verdict = &verdict;
  request.threatName = threatName;
  request.threatNameCapacity = sizeof(threatName);
  request.cacheAllowed = 1;
  request.flags = &flags;
  EXPECT_EQ(client.Scan(&callbacks, &request, context), 0);
  EXPECT_EQ(verdict, 0x20);
  EXPECT_STREQ(threatName, "EICAR-Test");

  int32_t disinfectVerdict = -1;
  const DisinfectRequest disinfect{&disinfectVerdict, "/tmp/eicar.com", nullptr, nullptr};
  EXPECT_EQ(client.Disinfect(&callbacks, &disinfect, context), 0);
  EXPECT_EQ(disinfectVerdict, 1);
  EXPECT_EQ(file.content.substr(0, 5), "CLEAN");

  EXPECT_EQ(client.Uninit(context, SONDREL_UNINIT_FINAL), 0);
}

}  // namespace
}  // namespace sondrel::test
