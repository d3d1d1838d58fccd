// Resolves a channel index to a channel for one session: the session delivers a received message
// only to a channel that is currently bound to it. The comm client provides this.
#pragma once

#include <cstdint>
#include <memory>

namespace sondrel {

class SockCommSession;
class SockThreadChannel;

class ChannelSessionProvider {
 public:
  virtual ~ChannelSessionProvider() = default;
  // The special channel for kSpecialChannelIndex; for a table index, the channel when it is bound
  // to `session`; otherwise null.
  virtual std::shared_ptr<SockThreadChannel> GetChannel(int32_t index,
                                                        const SockCommSession* session) = 0;
};

}  // namespace sondrel
