// A whole conversation through the real comm client and a scripted scan server: the server asks
// for 3 MiB of the file, reports a detection-free verdict and ends with its final answer, while
// the requesting thread serves it from the host.
#include <gtest/gtest.h>

#include <vector>

#include "comm/comm_client_options.h"
#include "comm/request_result.h"
#include "comm/sock_comm_client.h"
#include "protocol/message_codes.h"
#include "support/fake_server/server_frames.h"
#include "unit/comm/client_test_support.h"
#include "unit/scan/conversation_test_support.h"

namespace sondrel::test {
namespace {

constexpr uint32_t kMiB = 1024 * 1024;

struct Handler {
  ConversationServices* services;

  static void Handle(const CommMessagePtr& message, void* context, void* requester) {
    HandleConversationMessage(message, static_cast<ScanContext*>(requester),
                              *static_cast<Handler*>(context)->services);
  }
};

std::vector<uint8_t> ReadRequest(uint64_t offset, uint32_t count) {
  std::vector<uint8_t> bytes;
  PutU64(bytes, offset);
  PutU32(bytes, count);
  PutU64(bytes, 0);
  PutU32(bytes, 0);
  PutU32(bytes, 0);
  return bytes;
}

TEST(ConversationNetTest, TheServerReadsTheFileInPiecesAndEndsWithItsVerdict) {
  FrameLog log;
  SessionScript script;
  script.onMessage = [&log](FakeConnection& connection, const WireFrame& frame) {
    log.Record(frame);
    if (frame.messageType == MessageType::ScanRequest) {
      WireFrame read = AnswerTo(frame, MessageType::ReadRequest, MessageKind::ConversationRequest,
                                ReadRequest(10, 3 * kMiB));
      read.conversationId = 0x5150;
      return connection.Send(read);
    }
    if (frame.messageType == MessageType::ReadAnswer &&
        frame.messageKind == MessageKind::ConversationRequest) {
      std::vector<uint8_t> final = Le32(0);
      final.resize(53);
      final[48] = 0x42;
      return connection.Send(
          AnswerTo(frame, MessageType::ScanFinished, MessageKind::FinalAnswer, final));
    }
    return true;
  };
  auto server = ScriptedServer(script);
  SockCommClient client;
  ConversationFixture fixture(4 * kMiB);
  fixture.services.commClient = &client;
  Handler handler{&fixture.services};
  client.SetOption(kOptionHelloCallback, reinterpret_cast<const void*>(&Handler::Handle));
  client.SetOption(kOptionCallbackContext, &handler);
  ASSERT_EQ(StartWithServer(client, *server), 0);
  fixture.context.channel = client.AcquireChannel();

  uint8_t* request = client.AllocPayload(16);
  EXPECT_EQ(client.SendRequest(&fixture.context, fixture.context.channel, MessageType::ScanRequest,
                               MessageKind::Request, request, 16, 5000, false),
            RequestResult::Answered);
  EXPECT_EQ(fixture.context.finalStatus, 0);
  ASSERT_EQ(fixture.cache.stored.size(), 1u);
  EXPECT_EQ(fixture.cache.stored[0].value, 0x42u);

  const std::vector<WireFrame> frames = log.frames();
  ASSERT_EQ(frames.size(), 4u);
  std::vector<uint8_t> served;
  for (size_t i = 1; i < frames.size(); ++i) {
    SCOPED_TRACE(i);
    const WireFrame& piece = frames[i];
    EXPECT_EQ(piece.messageType, MessageType::ReadAnswer);
    EXPECT_EQ(piece.messageKind, i < 3 ? MessageKind::OneWay : MessageKind::ConversationRequest);
    EXPECT_EQ(piece.conversationId, 0x5150u);
    EXPECT_EQ(piece.requestSeq, frames[0].requestSeq);
    const std::vector<uint8_t> payload = piece.PlainPayload();
    ASSERT_EQ(payload.size(), 28u + kMiB);
    EXPECT_EQ(GetU64(payload, 0), 10u + (i - 1) * kMiB);
    EXPECT_EQ(GetU32(payload, 24), i < 3 ? 234u : 0u);
    served.insert(served.end(), payload.begin() + 28, payload.end());
  }
  EXPECT_TRUE(served == fixture.host.Bytes(10, 3 * kMiB));
  client.Stop();
}

}  // namespace
}  // namespace sondrel::test
