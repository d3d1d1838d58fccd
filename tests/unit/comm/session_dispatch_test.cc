// The session's dispatcher on its own: records handed to process_message directly, on a session
// that is not connected (in synchronous mode, so that an error reply fails at once).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comm/channel_table.h"
#include "comm/request_result.h"
#include "comm/sock_comm_session.h"
#include "comm/sock_thread_channel.h"
#include "comm/utc_clock.h"
#include "protocol/received_message.h"
#include "support/fake_server/server_frames.h"
#include "support/fake_server/session_script.h"
#include "support/log_capture.h"
#include "unit/comm/session_test_support.h"
#include "unit/comm/test_records.h"

namespace sondrel::test {
namespace {

WireFrame WithStatus(WireFrame frame, uint32_t serverStatus) {
  frame.serverStatus = serverStatus;
  return frame;
}

WireFrame ScanFinished(uint32_t kind, uint32_t serverStatus) {
  return WithStatus(PlainFrame(104, kind, {0, 0, 0, 0}), serverStatus);
}

class SessionDispatchTest : public testing::Test {
 protected:
  SessionDispatchTest() : session_(NewSession(&table_)) { session_->SetSyncMode(true); }

  void Process(const WireFrame& frame) { session_->process_message(Record(frame)); }
  // The message part of the captured lines that concern the session, without its address.
  std::vector<std::string> SessionLines(const LogCapture& capture) const {
    const std::string address = LoggedAddress(*session_);
    std::vector<std::string> lines;
    for (const std::string& message : capture.Messages()) {
      if (message.rfind(address, 0) == 0) {
        lines.push_back(message.substr(address.size()));
      }
    }
    return lines;
  }

  ChannelTable table_;
  std::shared_ptr<SockCommSession> session_;
};

TEST_F(SessionDispatchTest, LoadFlagsOfFinalAnswersCountAndThoseOfPingsDoNot) {
  struct Case {
    const char* name;
    std::vector<WireFrame> frames;
    ServerStateValue state;
  };
  const std::vector<Case> cases = {
      {"three final answers reporting overload",
       std::vector<WireFrame>(3, ScanFinished(1, 0x4)),
       {Server_Overloaded, 3}},
      {"three pings reporting overload",
       std::vector<WireFrame>(3, PingAnswer({}, 0x4)),
       {Server_Overloaded, 1}},
      {"three pings with the counting normal flag",
       std::vector<WireFrame>(3, PingAnswer({}, 0x8)),
       {Server_Normal, 3}},
      {"a ping reporting underload then overload", {PingAnswer({}, 0x5)}, {Server_Overloaded, 1}},
      {"a final answer with all flags", {ScanFinished(1, 0xF)}, {Server_Normal, 1}},
      {"final answers of other kinds are dropped",
       {ScanFinished(0, 0x4), ScanFinished(2, 0x4), ScanFinished(3, 0x4), ScanFinished(4, 0x4)},
       {Server_Unknown, 0}},
      {"the state changes in between",
       {PingAnswer({}, 0x4), PingAnswer({}, 0x1), PingAnswer({}, 0x4)},
       {Server_Overloaded, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    session_ = NewSession(&table_);
    session_->SetSyncMode(true);
    for (const WireFrame& frame : c.frames) {
      Process(frame);
    }
    EXPECT_EQ(session_->serverState(), c.state);
  }
}

TEST_F(SessionDispatchTest, PingLoadLinesFollowTheBitOrder) {
  LogCapture capture;
  Process(PingAnswer({}, 0x5));
  const std::vector<std::string> lines = SessionLines(capture);
  const std::vector<std::string> loadLines(lines.end() - 2, lines.end());
  EXPECT_EQ(loadLines, (std::vector<std::string>{" client session is Server_Underloaded",
                                                 " client session is Server_Overloaded"}));
  EXPECT_EQ(session_->serverState(), (ServerStateValue{Server_Overloaded, 1}));
}

TEST_F(SessionDispatchTest, RetiredIsFinal) {
  session_->SetServerState(Server_Retired, false);
  session_->close();
  Process(HelloAnswer(0, 0));
  Process(HelloAnswer(1, 0));
  Process(PingAnswer({}, 0x1));
  Process(ScanFinished(1, 0x4));
  Process(ToChannel(kAllChannels, 0, 0, 0, 4, Le32(8)));
  EXPECT_EQ(session_->serverState(), (ServerStateValue{Server_Retired, 1}));
}

TEST_F(SessionDispatchTest, HelloAnswerFlags) {
  struct Case {
    std::vector<uint8_t> payload;
    bool connected;
    std::vector<std::string> lines;
  };
  const std::string refused =
      " server dows not allow connection. Perform signature and product update! ";
  const std::vector<Case> cases = {
      {Le32(0), true, {}},
      {{}, true, {}},
      {{0x0E, 0x00}, true, {}},
      {Le32(0xE),
       true,
       {" Minor version mismatch! Launch a product update.",
        " Engine version major mismatch. Will scan without context! Perform a signature update!",
        " Engine version minor mismatch. Perform a signature update!"}},
      {Le32(0x1),
       false,
       {" Major version mismatch! Cannot continue!!! Launch a product update.", refused + "1"}},
      {Le32(0xF),
       false,
       {" Major version mismatch! Cannot continue!!! Launch a product update.",
        " Minor version mismatch! Launch a product update.",
        " Engine version major mismatch. Will scan without context! Perform a signature update!",
        " Engine version minor mismatch. Perform a signature update!", refused + "15"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.payload.size() << " bytes, " << (c.payload.empty() ? 0 : c.payload[0]));
    session_ = NewSession(&table_);
    session_->SetSyncMode(true);
    HelloLog log;
    session_->SetHelloCallback(&log, &HelloLog::Record);
    LogCapture capture;
    WireFrame answer = PlainFrame(kHelloType, 1, c.payload);
    Process(answer);

    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log.requesters()[0], nullptr);
    EXPECT_EQ(ReceivedMessage(*log.messages()[0]).messageType(), kHelloType);
    EXPECT_EQ(session_->IsConnected(), c.connected);
    EXPECT_EQ(session_->serverState(),
              (ServerStateValue{c.connected ? Server_Normal : Server_Down, 1}));
    EXPECT_EQ(session_->closed(), !c.connected);
    std::vector<std::string> lines = SessionLines(capture);
    // An accepted answer goes on to be routed: there is no channel 0.
    if (c.connected) {
      ASSERT_GE(lines.size(), 2u);
      EXPECT_EQ(lines[lines.size() - 2], " Received message has as target an unexisting channel 0");
      lines.resize(lines.size() - 2);
    }
    EXPECT_EQ(lines, c.lines);
  }
}

TEST_F(SessionDispatchTest, PingAnswersMeasureLatencyOnlyWithAWholeTimestamp) {
  struct Case {
    std::vector<uint8_t> payload;
    uint64_t thresholdUs;
    bool echoes;
    int32_t slowPings;
    bool latencyLogged;
  };
  const uint64_t minuteAgo = UtcMicrosecondsSince1400() - 60'000'000;
  const uint64_t hourUs = 3'600'000'000;
  const std::vector<Case> cases = {
      {{}, 50000, false, 1, false},
      {{0x01}, 50000, true, 1, false},
      {{1, 2, 3, 4, 5, 6, 7}, 50000, true, 1, false},
      {Le64(minuteAgo), 50000, true, 2, true},
      {Le64(UtcMicrosecondsSince1400()), hourUs, true, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.payload.size() << " bytes");
    session_ = NewSession(&table_);
    session_->SetSyncMode(true);
    CommServerEntry entry;
    entry.address = "scan-1";
    entry.useSSL = 1;
    session_->SetServerEntry(entry);
    // One slow answer first, so that a change of the count shows.
    Process(PingAnswer(Le64(minuteAgo)));
    ASSERT_EQ(session_->slowPingCount(), 1);
    session_->SetLatencyThresholdUs(c.thresholdUs);
    LogCapture capture;
    Process(PingAnswer(c.payload, 0x2));
    EXPECT_EQ(session_->pingEchoes(), c.echoes);
    EXPECT_EQ(session_->slowPingCount(), c.slowPings);
    EXPECT_EQ(capture.Contains(" client session received ping from server latency in "
                               "microseconds is : "),
              c.latencyLogged);
    EXPECT_TRUE(capture.Contains(LoggedAddress(*session_) +
                                 " client session received ping from server: scan-1"
                                 " usessl: 1 load: 2"));
  }
}

TEST_F(SessionDispatchTest, RunningServerDataIsTakenOnlyWhenWhole) {
  struct Case {
    WireFrame frame;
    bool taken;
  };
  const std::vector<Case> cases = {
      {RunningServerData(20, kTestServerId, 3, 1), false},
      {RunningServerData(24, kTestServerId, 3, 1, 23), false},
      {RunningServerData(24, kTestServerId, 3, 1, 0), false},
      {RunningServerData(24, kTestServerId, 3, 1, 3), false},
      {RunningServerData(24, kTestServerId, 3, 1), true},
      // Bytes after the record are not looked at.
      {RunningServerData(24, kTestServerId, 3, 1, 40), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.frame.payload.size() << " bytes");
    session_ = NewSession(&table_);
    session_->SetSyncMode(true);
    LogCapture capture;
    Process(c.frame);
    EXPECT_EQ(session_->runningDataObtained(), c.taken);
    if (c.taken) {
      EXPECT_EQ(session_->serverRunningId(), kTestServerId);
      EXPECT_EQ(session_->serverVersionMajor(), 3);
      EXPECT_EQ(session_->serverVersionMinor(), 1);
      EXPECT_EQ(SessionLines(capture),
                std::vector<std::string>{" Obtained server data. ID: "
                                         "01234567-89ab-cdef-1032-547698badcfeVersion: 3.1"});
    } else {
      EXPECT_EQ(SessionLines(capture),
                std::vector<std::string>{" Could not deserialize a ServerGetRunningServerData"});
    }
  }
}

TEST_F(SessionDispatchTest, MessagesForChannelsFarOutsideTheTableAreOnlyLogged) {
  table_.AcquireChannel(session_, nullptr, nullptr, {});
  for (const int32_t index :
       {1, 0x7FFFFFFF, -5, static_cast<int32_t>(0x80000000), kSpecialChannelIndex}) {
    SCOPED_TRACE(index);
    LogCapture capture;
    WireFrame frame = ToChannel(index, 9, 0x1122334455, 101, 2, {1, 2, 3});
    // Claims more payload than it carries.
    frame.payloadLength = 0xFFFFFFF0;
    Process(frame);
    const uint64_t route = static_cast<uint64_t>(static_cast<uint32_t>(index)) << 32 | 9;
    std::vector<std::string> expected = {" Received message cannot be processed. " +
                                         std::to_string(route) + " 73588229205 4294967280"};
    // The special channel is the provider's to find; this provider has none.
    if (index != kSpecialChannelIndex) {
      expected.insert(expected.begin(), " Received message has as target an unexisting channel " +
                                            std::to_string(index));
    }
    EXPECT_EQ(SessionLines(capture), expected);
  }
  EXPECT_EQ(table_.size(), 1u);
}

TEST_F(SessionDispatchTest, UndeliverableMessagesAreLoggedWithTheirRoute) {
  const auto other = NewSession(&table_);
  const int32_t mine = table_.AcquireChannel(session_, nullptr, nullptr, {});
  const int32_t theirs = table_.AcquireChannel(other, nullptr, nullptr, {});
  LogCapture capture;
  // Bound to another session; then not waiting.
  Process(ToChannel(theirs, 1, 7, 104, 1));
  Process(ToChannel(mine, 0, 8, 104, 1));
  EXPECT_EQ(SessionLines(capture),
            (std::vector<std::string>{" Received message cannot be processed. " +
                                          std::to_string(uint64_t{1} << 32 | 1) + " 7 0",
                                      " Received message cannot be processed. 0 8 0"}));
}

TEST_F(SessionDispatchTest, BroadcastReleasesOnlyTheSessionsWaitingChannels) {
  const auto other = NewSession(&table_);
  ASSERT_TRUE(table_.CreateSpecialChannel());
  const auto first = table_.At(table_.AcquireChannel(session_, nullptr, nullptr, {}));
  const auto second = table_.At(table_.AcquireChannel(session_, nullptr, nullptr, {}));
  const auto foreign = table_.At(table_.AcquireChannel(other, nullptr, nullptr, {}));
  const auto released = table_.At(table_.AcquireChannel(session_, nullptr, nullptr, {}));
  table_.ReleaseChannel(released->index());
  table_.Bind(released->index(), session_);
  const auto special = table_.SpecialChannel();
  for (const auto& channel : {first, second, foreign, released, special}) {
    ASSERT_TRUE(channel->BeginRequest(nullptr));
  }

  LogCapture capture;
  Process(ToChannel(kAllChannels, 0, 0, 0, 4, Le32(RequestResult::Stopping)));
  EXPECT_EQ(SessionLines(capture),
            std::vector<std::string>{" Server appears to be down. Will notify all channels"});
  EXPECT_EQ(session_->serverState(), (ServerStateValue{Server_Down, 1}));
  EXPECT_EQ(first->Wait(10'000'000), RequestResult::Stopping);
  EXPECT_EQ(second->Wait(10'000'000), RequestResult::Stopping);
  EXPECT_EQ(foreign->Wait(1000), RequestResult::TimedOut);
  EXPECT_EQ(released->Wait(1000), RequestResult::TimedOut);
  EXPECT_EQ(special->Wait(1000), RequestResult::TimedOut);
}

TEST_F(SessionDispatchTest, ServerEntryFieldsAreSetOneByOne) {
  CommServerEntry entry;
  entry.priority = 2;
  entry.enforced = 1;
  entry.useSSL = 1;
  session_->SetServerEntry(entry);
  session_->SetHost("scan-2.example");
  session_->SetPort("7001");
  session_->SetNodeId("node-b");
  entry.address = "scan-2.example";
  entry.port = "7001";
  entry.nodeid = "node-b";
  EXPECT_EQ(session_->serverEntry(), entry);
  EXPECT_EQ(session_->GetHost(), "scan-2.example");
  EXPECT_EQ(session_->GetPort(), "7001");
}

TEST_F(SessionDispatchTest, ThirdConsecutiveRequestTimeOutMarksTheServerDown) {
  session_->SetServerState(Server_Normal, true);
  session_->RecordRequestTimeout();
  session_->RecordRequestTimeout();
  session_->ClearTimeoutCount();
  session_->RecordRequestTimeout();
  session_->RecordRequestTimeout();
  EXPECT_EQ(session_->timeoutCount(), 2);
  EXPECT_EQ(session_->serverState().state, Server_Normal);
  session_->RecordRequestTimeout();
  EXPECT_EQ(session_->timeoutCount(), 3);
  EXPECT_EQ(session_->serverState(), (ServerStateValue{Server_Down, 1}));
  session_->RecordRequestTimeout();
  EXPECT_EQ(session_->serverState(), (ServerStateValue{Server_Down, 2}));
}

}  // namespace
}  // namespace sondrel::test
