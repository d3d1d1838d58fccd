#include "comm/sock_thread_channel.h"

#include <algorithm>
#include <boost/asio/post.hpp>
#include <chrono>

#include "comm/request_result.h"
#include "protocol/message_codes.h"
#include "protocol/received_message.h"
#include "protocol/session_records.h"

namespace sondrel {
namespace {

// Longer waits are cut to this, so that the expiry time stays representable.
constexpr uint64_t kLongestWaitUs = uint64_t{10} * 365 * 24 * 3600 * 1000 * 1000;

// The result an error answer carries: its 4-byte code, or ErrorWithoutCode.
int32_t ErrorAnswerCode(const ReceivedMessage& message) {
  const std::optional<uint32_t> code = ErrorCodeOf(message.payload());
  if (message.payloadLength() != kErrorCodeSize || !code) {
    return RequestResult::ErrorWithoutCode;
  }
  return static_cast<int32_t>(*code);
}

}  // namespace

SockThreadChannel::SockThreadChannel(int32_t index, MessageCallback handler, void* handlerContext)
    : handler_(handler),
      handlerContext_(handlerContext),
      index_(index),
      result_(RequestResult::Stopping) {}

bool SockThreadChannel::BeginRequest(void* requestKey) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (waiting_) {
    return false;
  }
  ioService_.restart();
  ++requestSeq_;
  waiting_ = true;
  answered_ = false;
  result_ = RequestResult::Stopping;
  requestKey_ = requestKey;
  conversationId_ = 0;
  sendCount_ = 0;
  return true;
}

int32_t SockThreadChannel::Wait(uint64_t timeoutUs) {
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (timer_ == nullptr) {
      timer_ = std::make_unique<boost::asio::steady_timer>(ioService_);
    }
    timer_->expires_after(std::chrono::microseconds(std::min(timeoutUs, kLongestWaitUs)));
    // The handlers posted here run only inside this Wait, or are destroyed with the channel.
    timer_->async_wait([this](const boost::system::error_code&) {
      std::lock_guard<std::recursive_mutex> expired(mutex_);
      waiting_ = false;
    });
  }
  ioService_.run();
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return answered_ ? result_ : RequestResult::TimedOut;
}

void SockThreadChannel::AbandonRequest() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  waiting_ = false;
}

int32_t SockThreadChannel::Deliver(const CommMessagePtr& message) {
  const ReceivedMessage received(*message);
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (received.channelIndex() != kAllChannels && received.requestSeq() != requestSeq_) {
    return DeliveryResult::StaleRequest;
  }
  if (!waiting_) {
    return DeliveryResult::NotWaiting;
  }
  if (answered_) {
    return DeliveryResult::AlreadyAnswered;
  }
  boost::asio::post(ioService_, [this, message, deliveredFor = requestSeq_] {
    handle_answer(message, deliveredFor);
  });
  return DeliveryResult::Delivered;
}

void SockThreadChannel::handle_answer(const CommMessagePtr& message, uint32_t deliveredFor) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  // A message delivered for a request that has ended meanwhile belongs to nobody.
  if (answered_ || !waiting_ || deliveredFor != requestSeq_) {
    return;
  }
  const ReceivedMessage received(*message);
  const uint32_t kind = received.messageKind();
  if (MessageKind::ExpectsAnswer(kind)) {
    conversationId_ = received.conversationId();
  }
  if (handler_ != nullptr) {
    handler_(message, handlerContext_, requestKey_);
  }
  if (kind == MessageKind::FinalAnswer || kind == MessageKind::ErrorAnswer) {
    answered_ = true;
    result_ =
        kind == MessageKind::FinalAnswer ? RequestResult::Answered : ErrorAnswerCode(received);
    timer_->cancel();
  }
}

void SockThreadChannel::SetHandler(MessageCallback handler, void* handlerContext) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  handler_ = handler;
  handlerContext_ = handlerContext;
}

uint32_t SockThreadChannel::requestSeq() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return requestSeq_;
}

uint64_t SockThreadChannel::conversationId() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return conversationId_;
}

void SockThreadChannel::SetConversationId(uint64_t conversationId) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  conversationId_ = conversationId;
}

uint32_t SockThreadChannel::sendCount() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return sendCount_;
}

uint32_t SockThreadChannel::IncrementSendCount() {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return ++sendCount_;
}

bool SockThreadChannel::waiting() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return waiting_;
}

bool SockThreadChannel::answered() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return answered_;
}

}  // namespace sondrel
