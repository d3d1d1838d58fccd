// The comm client against the raw baselines of comm_bench.cc, in the same run: round trips of
// small requests through SendRequest (a request answered by its final answer) and 1 MiB one-way
// messages handed over to SendRequest without a copy, both on a pool session to a loopback peer
// that answers as a scan server would.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "comm/comm_client_options.h"
#include "comm/sock_comm_client.h"
#include "loopback_peer.h"
#include "protocol/hello_record.h"
#include "protocol/message_codes.h"

namespace sondrel::bench {
namespace {

constexpr uint32_t kSmallPayload = 64;
constexpr uint32_t kStreamPayload = 1024 * 1024;
// Messages sent before the sender waits for the peer to have them all.
constexpr int kStreamBatch = 16;
constexpr int32_t kTimeoutMs = 5000;

// A client in pool mode whose one session is connected to `peer`, and a channel bound to it.
struct BenchClient {
  explicit BenchClient(const LoopbackPeer& peer) {
    const int32_t one = 1;
    client.SetOption(kOptionPoolMode, &one);
    const std::vector<uint8_t> hello = hello::MakeRecord("bench");
    const auto helloLength = static_cast<int32_t>(hello.size());
    client.SetOption(kOptionHelloLength, &helloLength);
    client.SetOption(kOptionHelloPayload, hello.data());
    std::vector<CommServerEntry> servers(1);
    servers[0].address = peer.endpoint().address().to_string();
    servers[0].port = std::to_string(peer.endpoint().port());
    client.SetOption(kOptionServers, &servers);
    const int32_t longInterval = 3600;
    client.SetOption(kOptionReconnectInterval, &longInterval);
    client.ApplyOptions();
    client.Start();
    channel = client.AcquireChannel();
    // A request that is not a scan keeps the channel bound to the session that answered it.
    client.SendRequest(nullptr, channel, MessageType::ValueRequest, MessageKind::Request, nullptr,
                       0, kTimeoutMs, true);
  }
  ~BenchClient() { client.Stop(); }

  SockCommClient client;
  int32_t channel = -1;
};

void ClientRoundTrip(benchmark::State& state) {
  LoopbackPeer peer(LoopbackPeer::Mode::Answer);
  BenchClient bench(peer);
  std::vector<uint8_t> payload(kSmallPayload, 0x11);
  for (auto _ : state) {
    if (bench.client.SendRequest(nullptr, bench.channel, MessageType::ValueRequest,
                                 MessageKind::Request, payload.data(), kSmallPayload, kTimeoutMs,
                                 true) != 0) {
      state.SkipWithError("the request was not answered");
      break;
    }
  }
}

void ClientStream(benchmark::State& state) {
  LoopbackPeer peer(LoopbackPeer::Mode::Answer);
  BenchClient bench(peer);
  const uint64_t frameLength = kStreamPayload + 68;
  const uint64_t before = peer.received();
  uint64_t sent = 0;
  for (auto _ : state) {
    for (int i = 0; i < kStreamBatch; ++i) {
      uint8_t* payload = bench.client.AllocFilledPayload(kStreamPayload);
      std::memset(payload, static_cast<int>(sent), kStreamPayload);
      bench.client.SendRequest(nullptr, bench.channel, MessageType::ReadAnswer, MessageKind::OneWay,
                               payload, kStreamPayload, kTimeoutMs, false);
      ++sent;
    }
    peer.WaitForReceived(before + sent * frameLength);
  }
  state.SetBytesProcessed(static_cast<int64_t>(sent * kStreamPayload));
}

BENCHMARK(ClientStream)->Name("stream_1MiB/client")->UseRealTime();
BENCHMARK(ClientRoundTrip)->Name("round_trip_64B/client")->UseRealTime();

}  // namespace
}  // namespace sondrel::bench
