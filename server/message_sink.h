// Where a session's messages to the client go: the connection's write queue.
#pragma once

#include <cstdint>
#include <span>

#include "protocol/message_builder.h"

namespace sondrel::server {

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // Queues one message. Safe to call from any thread; nothing happens once the connection is
  // closed.
  virtual void Send(const OutgoingHeader& header, std::span<const uint8_t> payload) = 0;
  // Closes the connection once what is queued has been written.
  virtual void CloseAfterWrites() = 0;
};

}  // namespace sondrel::server
