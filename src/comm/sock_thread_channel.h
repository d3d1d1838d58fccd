// A request channel: what lets a requester talk to a server as if it made a blocking call. The
// requester begins a request, sends it with the channel's routing fields (requestSeq, index,
// conversationId, sendCount) and waits; while it waits it runs the channel's own io_context, so
// that the server's intermediate requests reach its handler on its own thread and can be
// answered inside the same wait. The final answer, an error answer, the time-out or the loss of
// the connection ends the wait.
//
// A channel serves one request at a time and is reused for the next one. Deliver runs on a
// session's I/O thread and only posts; the handler runs inside Wait.
#pragma once

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <cstdint>
#include <memory>
#include <mutex>

#include "comm/message_callback.h"
#include "protocol/comm_message.h"

namespace sondrel {

class SockThreadChannel {
 public:
  // `index` is the channel's position in the channel table, or kSpecialChannelIndex.
  SockThreadChannel(int32_t index, MessageCallback handler, void* handlerContext);
  SockThreadChannel(const SockThreadChannel&) = delete;
  SockThreadChannel& operator=(const SockThreadChannel&) = delete;

  // Starts a request: a new requestSeq, result Stopping until an answer comes, conversationId and
  // sendCount 0. False, changing nothing, while a request is waiting (a handler's reply goes out
  // inside the running request).
  bool BeginRequest(void* requestKey);
  // Runs the channel's io_context on the calling thread until the request is answered or
  // `timeoutUs` microseconds have passed. Returns the request's result, or TimedOut.
  int32_t Wait(uint64_t timeoutUs);
  // Ends a begun request whose message could not be sent, so that the channel does not stay
  // waiting for an answer that cannot come.
  void AbandonRequest();
  // Hands a received message to the waiting requester (posted to the channel's io_context).
  // Returns a DeliveryResult: Delivered, NotWaiting, AlreadyAnswered, or StaleRequest when the
  // message's requestSeq is not the current one (messages for kAllChannels match any request).
  int32_t Deliver(const CommMessagePtr& message);

  int32_t index() const { return index_; }
  // Whether a requester holds the channel. Changed only under the channel table's lock, and read
  // without the channel's own mutex, so that the table never waits for a channel whose handler is
  // running.
  bool inUse() const { return inUse_.load(); }
  void SetInUse(bool inUse) { inUse_.store(inUse); }
  void SetHandler(MessageCallback handler, void* handlerContext);
  uint32_t requestSeq() const;
  uint64_t conversationId() const;
  void SetConversationId(uint64_t conversationId);
  uint32_t sendCount() const;
  // Counts one more message sent for the current request; returns the new count.
  uint32_t IncrementSendCount();
  bool waiting() const;
  bool answered() const;

 private:
  void handle_answer(const CommMessagePtr& message, uint32_t deliveredFor);

  std::atomic<bool> inUse_{false};
  // Guards every field below except ioService_.
  mutable std::recursive_mutex mutex_;
  uint32_t sendCount_ = 0;
  MessageCallback handler_;
  void* handlerContext_;
  bool waiting_ = false;
  bool answered_ = false;
  const int32_t index_;
  uint32_t requestSeq_ = 0;
  boost::asio::io_context ioService_;
  std::unique_ptr<boost::asio::steady_timer> timer_;
  int32_t result_;
  void* requestKey_ = nullptr;
  uint64_t conversationId_ = 0;
};

}  // namespace sondrel
