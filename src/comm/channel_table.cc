#include "comm/channel_table.h"

#include <mutex>
#include <new>

#include "comm/request_result.h"
#include "comm/sock_thread_channel.h"

namespace sondrel {

int32_t ChannelTable::AcquireChannel(const SessionPtr& session, MessageCallback handler,
                                     void* handlerContext,
                                     const std::function<void()>& publishTable) {
  int32_t index = -1;
  {
    std::unique_lock<std::shared_mutex> lock(tableMutex_);
    for (size_t i = 0; i < channels_.size(); ++i) {
      if (!channels_[i]->inUse()) {
        channels_[i]->SetInUse(true);
        index = static_cast<int32_t>(i);
        break;
      }
    }
    if (index < 0) {
      try {
        index = static_cast<int32_t>(channels_.size());
        auto channel = std::make_shared<SockThreadChannel>(index, handler, handlerContext);
        channel->SetInUse(true);
        channels_.push_back(std::move(channel));
      } catch (const std::bad_alloc&) {
        return -1;
      }
      if (publishTable) {
        publishTable();
      }
    }
  }
  Bind(index, session);
  return index;
}

void ChannelTable::ReleaseChannel(int32_t index) {
  {
    std::unique_lock<std::shared_mutex> lock(tableMutex_);
    if (index < 0 || static_cast<size_t>(index) >= channels_.size()) {
      return;
    }
    channels_[static_cast<size_t>(index)]->SetInUse(false);
  }
  std::unique_lock<std::shared_mutex> lock(bindingMutex_);
  bindings_.erase(index);
}

std::shared_ptr<SockThreadChannel> ChannelTable::GetChannel(int32_t index,
                                                            const SockCommSession* session) {
  if (index == kSpecialChannelIndex) {
    return SpecialChannel();
  }
  ChannelPtr channel = At(index);
  if (channel == nullptr) {
    return nullptr;
  }
  std::shared_lock<std::shared_mutex> lock(bindingMutex_);
  const auto binding = bindings_.find(index);
  if (binding == bindings_.end() || binding->second.get() != session) {
    return nullptr;
  }
  return channel;
}

ChannelTable::ChannelPtr ChannelTable::At(int32_t index) const {
  std::shared_lock<std::shared_mutex> lock(tableMutex_);
  const auto position = static_cast<uint32_t>(index);
  return position < channels_.size() ? channels_[position] : nullptr;
}

size_t ChannelTable::size() const {
  std::shared_lock<std::shared_mutex> lock(tableMutex_);
  return channels_.size();
}

std::vector<ChannelTable::ChannelPtr> ChannelTable::Channels() const {
  std::shared_lock<std::shared_mutex> lock(tableMutex_);
  return channels_;
}

ChannelTable::SessionPtr ChannelTable::BoundSession(int32_t index) const {
  std::shared_lock<std::shared_mutex> lock(bindingMutex_);
  const auto binding = bindings_.find(index);
  return binding != bindings_.end() ? binding->second : nullptr;
}

bool ChannelTable::IsBoundTo(const SockCommSession* session) const {
  if (session == nullptr) {
    return false;
  }
  std::shared_lock<std::shared_mutex> lock(bindingMutex_);
  for (const auto& [index, bound] : bindings_) {
    if (bound.get() == session) {
      return true;
    }
  }
  return false;
}

void ChannelTable::Bind(int32_t index, SessionPtr session) {
  std::unique_lock<std::shared_mutex> lock(bindingMutex_);
  bindings_[index] = std::move(session);
}

void ChannelTable::ClearBindings() {
  std::unique_lock<std::shared_mutex> lock(bindingMutex_);
  bindings_.clear();
}

bool ChannelTable::CreateSpecialChannel() {
  try {
    auto channel = std::make_shared<SockThreadChannel>(kSpecialChannelIndex, nullptr, nullptr);
    channel->SetInUse(true);
    std::unique_lock<std::shared_mutex> lock(tableMutex_);
    specialChannel_ = std::move(channel);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

ChannelTable::ChannelPtr ChannelTable::SpecialChannel() const {
  std::shared_lock<std::shared_mutex> lock(tableMutex_);
  return specialChannel_;
}

}  // namespace sondrel
