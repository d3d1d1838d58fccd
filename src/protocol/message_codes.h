// The kinds and type codes carried in `messageKind` and `messageType`.
#pragma once

#include <cstdint>

namespace sondrel {

// What a message is within a conversation. Routing and the completion of a waiting requester
// depend on the kind, never on the type code.
struct MessageKind {
  // Opens a conversation; an answer is expected.
  static constexpr uint32_t Request = 0;
  // Ends a conversation; completes the waiting requester.
  static constexpr uint32_t FinalAnswer = 1;
  // A request inside a running conversation (either direction); an answer is expected.
  static constexpr uint32_t ConversationRequest = 2;
  // Expects no answer and completes nothing.
  static constexpr uint32_t OneWay = 3;
  // Completes the waiting requester with the 4-byte code of its payload.
  static constexpr uint32_t ErrorAnswer = 4;

  // Requests and conversation requests: the sender waits for an answer.
  static constexpr bool ExpectsAnswer(uint32_t kind) {
    return kind == Request || kind == ConversationRequest;
  }
};

// Type codes. The three 0xF000000x codes are handled by the session itself; every other code is
// routed to a request channel.
struct MessageType {
  // Sent when a received request cannot be delivered; payload: the u32 delivery result.
  static constexpr uint32_t ErrorReply = 0;
  static constexpr uint32_t Hello = 0xF0000001;
  static constexpr uint32_t Ping = 0xF0000002;
  static constexpr uint32_t ClientGetRunningServerData = 0xF0000003;

  static constexpr uint32_t ScanRequest = 100;
  static constexpr uint32_t ReadRequest = 101;
  static constexpr uint32_t ReadAnswer = 102;
  static constexpr uint32_t DetectionReport = 103;
  static constexpr uint32_t ScanFinished = 104;
  static constexpr uint32_t DataNotification = 105;
  static constexpr uint32_t ServerCacheAnswer = 107;
  static constexpr uint32_t WriteRequest = 108;
  static constexpr uint32_t WriteAnswer = 109;
  static constexpr uint32_t ValueRequest = 110;
  static constexpr uint32_t CallbackRequest = 111;
  static constexpr uint32_t AllocateSlot = 112;
  static constexpr uint32_t FreeSlot = 113;
  static constexpr uint32_t KeepSlot = 114;
  static constexpr uint32_t DisinfectFlags = 115;
};

}  // namespace sondrel
