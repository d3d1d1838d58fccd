// The client object end to end, as a host uses it: a settings file naming a scan server, Init,
// a scan and a disinfection served by a scripted server over loopback (the server reads the
// file, reports, writes the cleaned bytes back), and the final Uninit.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/c_sondrel.h"
#include "support/fake_server/fake_server.h"
#include "support/fake_server/server_frames.h"
#include "support/fake_server/session_script.h"
#include "support/temp_dir.h"

namespace sondrel::test {
namespace {

void Put32(std::vector<uint8_t>& bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
}

void Put64(std::vector<uint8_t>& bytes, uint64_t value) {
  Put32(bytes, static_cast<uint32_t>(value));
  Put32(bytes, static_cast<uint32_t>(value >> 32));
}

uint64_t Get64(const std::vector<uint8_t>& bytes, size_t offset) {
  uint64_t value = 0;
  for (size_t i = 0; i < 8; ++i) {
    value |= static_cast<uint64_t>(bytes.at(offset + i)) << (8 * i);
  }
  return value;
}

std::vector<uint8_t> Descriptor(uint64_t offset, uint32_t count, uint32_t dataLength = 0) {
  std::vector<uint8_t> bytes;
  Put64(bytes, offset);
  Put32(bytes, count);
  Put64(bytes, 0);
  Put32(bytes, dataLength);
  Put32(bytes, 0);
  return bytes;
}

// A detection report with the threat name as its fourth text.
std::vector<uint8_t> Report(uint32_t verdict, const std::string& threat) {
  std::vector<uint8_t> bytes;
  for (const uint32_t word : {0u, 0u, verdict, 0u, 0u}) {
    Put32(bytes, word);
  }
  for (size_t i = 0; i < 4; ++i) {
    Put64(bytes, 0);
    Put32(bytes, i == 3 ? static_cast<uint32_t>(threat.size() + 1) : 0);
  }
  Put32(bytes, 0);
  bytes.insert(bytes.end(), threat.begin(), threat.end());
  bytes.push_back(0);
  return bytes;
}

// A scan server that reads the whole file of every request; a scan finds "EICAR" in it, a
// disinfection (action other than 0) overwrites the first 5 bytes with "CLEAN".
class ScanServer {
 public:
  ScanServer()
      : server_([this](FakeConnection& connection) {
          SessionScript script;
          script.onMessage = [this](FakeConnection& c, const WireFrame& frame) {
            return OnMessage(c, frame);
          };
          ServeSession(connection, script);
        }) {}

  uint16_t port() const { return server_.port(); }

 private:
  bool OnMessage(FakeConnection& connection, const WireFrame& frame) {
    const std::vector<uint8_t> payload = frame.PlainPayload();
    switch (frame.messageType) {
      case 100: {  // scan request: action, then the file size
        request_ = frame;
        action_ = payload.at(0);
        file_.clear();
        const uint64_t size = Get64(payload, 4);
        return connection.Send(AnswerTo(frame, 101, 2, Descriptor(0, static_cast<uint32_t>(size))));
      }
      case 102:  // a piece of the file
        file_.insert(file_.end(), payload.begin() + 28, payload.end());
        if (frame.messageKind != 2) {
          return true;
        }
        if (action_ == 0) {
          const bool infected =
              std::string(file_.begin(), file_.end()).find("EICAR") != std::string::npos;
          if (!connection.Send(AnswerTo(
                  request_, 103, 3, Report(infected ? 0x20 : 1, infected ? "EICAR-Test" : "")))) {
            return false;
          }
          return Finish(connection);
        } else {
          std::vector<uint8_t> write = Descriptor(0, 0, 5);
          write.insert(write.end(), {'C', 'L', 'E', 'A', 'N'});
          return connection.Send(AnswerTo(request_, 108, 2, write));
        }
      case 109:  // the write's answer
        return Finish(connection);
      default:
        return true;
    }
  }

  bool Finish(FakeConnection& connection) {
    std::vector<uint8_t> final;
    Put32(final, 0);
    return connection.Send(AnswerTo(request_, 104, 1, final));
  }

  WireFrame request_;
  int action_ = 0;
  std::vector<uint8_t> file_;
  FakeServer server_;
};

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
  ScanServer server;
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
