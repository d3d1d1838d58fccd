// The comm client's request channels: the table of channels indexed by channel index, the binding
// of each channel to the session that serves it, and the special channel (index -2) that is kept
// outside the table.
//
// Locks: the table lock (shared for lookups, exclusive for acquiring and releasing) and the binding
// lock (shared for lookups, exclusive for changes) are never held together, and neither is held
// while a channel's own mutex is taken. Sessions read the table through At and Channels, under the
// table lock, while requesters may acquire channels. Channels are only ever appended and stay in
// the table for reuse, so a channel found once stays valid.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <shared_mutex>
#include <vector>

#include "comm/channel_session_provider.h"
#include "comm/message_callback.h"

namespace sondrel {

class SockCommSession;
class SockThreadChannel;

class ChannelTable : public ChannelSessionProvider {
 public:
  using ChannelPtr = std::shared_ptr<SockThreadChannel>;
  using SessionPtr = std::shared_ptr<SockCommSession>;

  // Takes the first free channel, or appends a new one with `handler` and `handlerContext` and then
  // calls `publishTable` (the comm client gives every session the table under its session-list
  // lock), all under the table lock; then binds the channel to `session` (may be null). Returns
  // the channel index, or -1 when no channel can be made.
  int32_t AcquireChannel(const SessionPtr& session, MessageCallback handler, void* handlerContext,
                         const std::function<void()>& publishTable);
  // Frees the channel for reuse and removes its binding; an index outside the table is ignored.
  void ReleaseChannel(int32_t index);

  std::shared_ptr<SockThreadChannel> GetChannel(int32_t index,
                                                const SockCommSession* session) override;

  // The channel at `index` (read unsigned), or null outside the table.
  ChannelPtr At(int32_t index) const;
  size_t size() const;
  // The table as it is now.
  std::vector<ChannelPtr> Channels() const;

  // The session bound to `index`, or null.
  SessionPtr BoundSession(int32_t index) const;
  // Whether some channel is bound to `session`. Takes only the binding lock.
  bool IsBoundTo(const SockCommSession* session) const;
  // Binds `index` to `session`; a null session leaves the channel bound to none.
  void Bind(int32_t index, SessionPtr session);
  void ClearBindings();

  // Makes the special channel (the comm client's Start); false when it cannot be made.
  bool CreateSpecialChannel();
  ChannelPtr SpecialChannel() const;

 private:
  mutable std::shared_mutex tableMutex_;
  std::vector<ChannelPtr> channels_;
  ChannelPtr specialChannel_;
  mutable std::shared_mutex bindingMutex_;
  std::map<int32_t, SessionPtr> bindings_;
};

}  // namespace sondrel
