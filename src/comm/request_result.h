// Result codes of requests and of the delivery of received messages to request channels.
#pragma once

#include <cstdint>

namespace sondrel {

// What a request made through a channel ends with. Any other value is the server's own error
// code from an error answer.
struct RequestResult {
  static constexpr int32_t Answered = 0;
  static constexpr int32_t NoChannel = 3;
  static constexpr int32_t TimedOut = 4;
  static constexpr int32_t ServerDown = 5;
  // An error answer whose payload is not a 4-byte code.
  static constexpr int32_t ErrorWithoutCode = 6;
  // The client is stopping, or the connection was lost while waiting.
  static constexpr int32_t Stopping = 8;
  static constexpr int32_t NotInitialised = 9;
  // No session available, or the message could not be sent.
  static constexpr int32_t NotSent = 10;
};

// What handing a received message to a channel ends with; also the code of the error reply that
// tells the server a request could not be delivered.
struct DeliveryResult {
  static constexpr int32_t Delivered = 0;
  static constexpr int32_t NoChannel = 3;
  static constexpr int32_t AlreadyAnswered = 8;
  static constexpr int32_t NotWaiting = 9;
  // The message belongs to an earlier request of the channel.
  static constexpr int32_t StaleRequest = 10;
};

// Channel indices with a meaning of their own.
inline constexpr int32_t kAllChannels = -1;
inline constexpr int32_t kSpecialChannelIndex = -2;

}  // namespace sondrel
