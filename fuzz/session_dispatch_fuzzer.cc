// Feeds arbitrary records to a session's dispatcher as the read loop hands them over: hello, ping
// and running-server data answers, load flags, and messages for channels that wait, belong to
// another session, are free or do not exist, the special channel and the broadcast; then lets the
// waiting requesters handle what reached them. The input is a sequence of records, each preceded
// by its length as 2 bytes, little-endian.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "comm/channel_table.h"
#include "comm/sock_comm_session.h"
#include "comm/sock_thread_channel.h"
#include "protocol/comm_message.h"
#include "protocol/received_message.h"
#include "record_input.h"

namespace {

volatile uint64_t sink = 0;

void Handler(const sondrel::CommMessagePtr& message, void*, void*) {
  const sondrel::ReceivedMessage received(*message);
  uint64_t sum = received.route() ^ received.conversationId() ^ received.messageType();
  for (const uint8_t byte : received.payload()) {
    sum += byte;
  }
  sink = sink + sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace sondrel;
  ChannelTable table;
  table.CreateSpecialChannel();
  auto session = std::make_shared<SockCommSession>("qx.sondrel.comm", &table);
  auto other = std::make_shared<SockCommSession>("qx.sondrel.comm", &table);
  for (const auto& each : {session, other}) {
    // Nothing is connected: replies fail at once instead of being queued.
    each->SetSyncMode(true);
    each->SetChannels(&table);
    each->SetHelloCallback(nullptr, &Handler);
  }
  table.AcquireChannel(session, &Handler, nullptr, {});
  table.AcquireChannel(session, &Handler, nullptr, {});
  table.AcquireChannel(other, &Handler, nullptr, {});
  table.AcquireChannel(session, &Handler, nullptr, {});
  table.ReleaseChannel(3);
  for (const auto& channel : table.Channels()) {
    channel->BeginRequest(nullptr);
  }
  table.SpecialChannel()->SetHandler(&Handler, nullptr);
  table.SpecialChannel()->BeginRequest(nullptr);

  fuzz::ForEachRecord(data, size,
                      [&](CommMessagePtr record) { session->process_message(std::move(record)); });

  for (const auto& channel : table.Channels()) {
    channel->Wait(0);
  }
  table.SpecialChannel()->Wait(0);
  return 0;
}
