#include "support/fake_server/scanning_server.h"

#include <optional>
#include <string>

#include "support/fake_server/server_frames.h"
#include "support/fake_server/session_script.h"

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
  for (size_t i = 0; i < 8 && offset + i < bytes.size(); ++i) {
    value |= static_cast<uint64_t>(bytes[offset + i]) << (8 * i);
  }
  return value;
}

// Buffer descriptor: offset, requested count, address, data length, status.
std::vector<uint8_t> Descriptor(uint64_t offset, uint32_t count, uint32_t dataLength = 0) {
  std::vector<uint8_t> bytes;
  Put64(bytes, offset);
  Put32(bytes, count);
  Put64(bytes, 0);
  Put32(bytes, dataLength);
  Put32(bytes, 0);
  return bytes;
}

// A detection report: five words (the verdict third), four texts (the threat name last), the
// out-byte word, then the texts.
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

bool Finish(FakeConnection& connection, const WireFrame& request) {
  std::vector<uint8_t> status;
  Put32(status, 0);
  return connection.Send(AnswerTo(request, 104, 1, status));
}

}  // namespace

ScanningServer::ScanningServer(ScanningServerOptions options)
    : server_([options, requests = &requests_](FakeConnection& connection) {
        // Load flag 0x4: overloaded.
        const uint32_t load = options.overloaded ? 0x4 : 0;
        Conversation conversation;
        SessionScript script;
        script.hello = [load](const WireFrame&) {
          return std::optional<WireFrame>(HelloAnswer(0, load));
        };
        script.pingStatus = load;
        script.onMessage = [&conversation, requests](FakeConnection& c, const WireFrame& frame) {
          if (frame.messageType == 100) {
            ++*requests;
          }
          return OnMessage(conversation, c, frame);
        };
        ServeSession(connection, script);
      }) {}

bool ScanningServer::OnMessage(Conversation& conversation, FakeConnection& connection,
                               const WireFrame& frame) {
  const std::vector<uint8_t> payload = frame.PlainPayload();
  switch (frame.messageType) {
    case 100: {  // scan request: the action at 0, the file size at 4
      conversation.request = frame;
      conversation.action = payload.empty() ? 0 : payload[0];
      conversation.file.clear();
      const auto size = static_cast<uint32_t>(Get64(payload, 4));
      return connection.Send(AnswerTo(frame, 101, 2, Descriptor(0, size)));
    }
    case 102:  // a piece of the file; the last one comes as a conversation request
      if (payload.size() > 28) {
        conversation.file.insert(conversation.file.end(), payload.begin() + 28, payload.end());
      }
      if (frame.messageKind != 2) {
        return true;
      }
      if (conversation.action == 0) {
        const std::string content(conversation.file.begin(), conversation.file.end());
        const bool infected = content.find("EICAR") != std::string::npos;
        return connection.Send(
                   AnswerTo(conversation.request, 103, 3,
                            Report(infected ? 0x20 : 1, infected ? "EICAR-Test" : ""))) &&
               Finish(connection, conversation.request);
      } else {
        std::vector<uint8_t> write = Descriptor(0, 0, 5);
        write.insert(write.end(), {'C', 'L', 'E', 'A', 'N'});
        return connection.Send(AnswerTo(conversation.request, 108, 2, write));
      }
    case 109:  // the write's answer
      return Finish(connection, conversation.request);
    default:
      return true;
  }
}

}  // namespace sondrel::test
