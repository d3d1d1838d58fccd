// The comm layer against a raw Asio TCP baseline over loopback, measured in the same run:
//  - streaming 1 MiB messages, each payload prepared in place in a buffer with headroom and sent
//    without a copy;
//  - round trips of small messages through an echoing peer, answered through the read loop.
// The baseline moves the same frames with plain blocking Asio calls on the benchmark thread. The
// comm client's figures for the same pairs come from comm_client_bench.cc.
#include <benchmark/benchmark.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "comm/comm_socket_base.h"
#include "comm/send_message.h"
#include "loopback_peer.h"
#include "protocol/message_builder.h"
#include "protocol/payload_buffer.h"
#include "unit/comm/io_thread.h"

namespace sondrel::bench {
namespace {

constexpr uint32_t kStreamPayload = 1024 * 1024;
// Messages sent before the sender waits for the peer to have them all (16 MiB in flight at most).
constexpr int kStreamBatch = 16;
constexpr uint32_t kSmallPayload = 64;

// A connection whose I/O thread runs for the benchmark and which counts what it receives.
class BenchSocket : public CommSocketBase {
 public:
  explicit BenchSocket(boost::asio::io_context& io) : CommSocketBase(io, "qx.sondrel.comm") {}

  void Connect(const boost::asio::ip::tcp::endpoint& peer) {
    socket().connect(peer);
    socket().set_option(boost::asio::ip::tcp::no_delay(true));
  }
  void StartReading() {
    auto self = shared_from_this();
    boost::asio::post(ioService(), [self] { self->do_read_header(); });
  }
  void process_message(CommMessagePtr) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++received_;
    }
    changed_.notify_all();
  }
  void WaitForReceived(uint64_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return received_ >= count; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t received_ = 0;
};

// One frame as the library would send it, for the baseline to send as it is.
std::vector<uint8_t> FrameBytes(uint32_t payloadLength) {
  std::vector<uint8_t> payload(payloadLength, 0x5A);
  const CommMessagePtr message =
      BuildMessage({.messageType = 100}, payload.data(), payloadLength, true, {});
  return {message->data(), message->data() + message->size()};
}

void SessionStream(benchmark::State& state) {
  LoopbackPeer peer(LoopbackPeer::Mode::Sink);
  auto io = std::make_unique<test::IoThread>();
  auto socket = std::make_shared<BenchSocket>(io->io());
  socket->Connect(peer.endpoint());
  const uint64_t frameLength = kStreamPayload + 68;
  uint64_t sent = 0;
  for (auto _ : state) {
    for (int i = 0; i < kStreamBatch; ++i) {
      uint8_t* payload = AllocPayloadForFill(kStreamPayload);
      std::memset(payload, static_cast<int>(sent), kStreamPayload);
      send_message(*socket, 0, 0, 0, 102, 2, payload, kStreamPayload, false, 1, -1);
      ++sent;
    }
    peer.WaitForReceived(sent * frameLength);
  }
  state.SetBytesProcessed(static_cast<int64_t>(sent * kStreamPayload));
  socket->close();
  socket.reset();
  io.reset();
}

void RawStream(benchmark::State& state) {
  LoopbackPeer peer(LoopbackPeer::Mode::Sink);
  boost::asio::io_context io;
  boost::asio::ip::tcp::socket socket(io);
  socket.connect(peer.endpoint());
  socket.set_option(boost::asio::ip::tcp::no_delay(true));
  std::vector<uint8_t> frame = FrameBytes(kStreamPayload);
  uint64_t sent = 0;
  for (auto _ : state) {
    for (int i = 0; i < kStreamBatch; ++i) {
      std::memset(frame.data() + 64, static_cast<int>(sent), kStreamPayload);
      boost::asio::write(socket, boost::asio::buffer(frame));
      ++sent;
    }
    peer.WaitForReceived(sent * frame.size());
  }
  state.SetBytesProcessed(static_cast<int64_t>(sent * kStreamPayload));
  socket.close();
}

void SessionRoundTrip(benchmark::State& state) {
  LoopbackPeer peer(LoopbackPeer::Mode::Echo);
  auto io = std::make_unique<test::IoThread>();
  auto socket = std::make_shared<BenchSocket>(io->io());
  socket->Connect(peer.endpoint());
  socket->StartReading();
  std::vector<uint8_t> payload(kSmallPayload, 0x11);
  uint64_t answers = 0;
  for (auto _ : state) {
    send_message(*socket, 1, 0, 0, 110, 2, payload.data(), kSmallPayload, true, 1, 1000);
    socket->WaitForReceived(++answers);
  }
  socket->close();
  socket.reset();
  io.reset();
}

void RawRoundTrip(benchmark::State& state) {
  LoopbackPeer peer(LoopbackPeer::Mode::Echo);
  boost::asio::io_context io;
  boost::asio::ip::tcp::socket socket(io);
  socket.connect(peer.endpoint());
  socket.set_option(boost::asio::ip::tcp::no_delay(true));
  const std::vector<uint8_t> frame = FrameBytes(kSmallPayload);
  std::vector<uint8_t> answer(frame.size());
  for (auto _ : state) {
    boost::asio::write(socket, boost::asio::buffer(frame));
    boost::asio::read(socket, boost::asio::buffer(answer.data(), 20));
    boost::asio::read(socket, boost::asio::buffer(answer.data() + 20, answer.size() - 20));
  }
  socket.close();
}

BENCHMARK(SessionStream)->Name("stream_1MiB/session")->UseRealTime();
BENCHMARK(RawStream)->Name("stream_1MiB/raw")->UseRealTime();
BENCHMARK(SessionRoundTrip)->Name("round_trip_64B/session")->UseRealTime();
BENCHMARK(RawRoundTrip)->Name("round_trip_64B/raw")->UseRealTime();

// Prints the results as usual and keeps each benchmark's time for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      times_[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
  }
  // The time of `pair`/`subject` over that of `pair`/raw.
  void PrintRatio(const std::string& pair, const std::string& subject) const {
    const auto measured = times_.find(pair + "/" + subject);
    const auto raw = times_.find(pair + "/raw");
    if (measured != times_.end() && raw != times_.end() && raw->second > 0) {
      GetOutputStream() << pair << ": " << subject
                        << " / raw time = " << measured->second / raw->second << "\n";
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace
}  // namespace sondrel::bench

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  sondrel::bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const char* subject : {"session", "client"}) {
    reporter.PrintRatio("stream_1MiB", subject);
    reporter.PrintRatio("round_trip_64B", subject);
  }
  benchmark::Shutdown();
  return 0;
}
