// The ping a session sends on the pool manager's thread. The answer is handled by the dispatcher
// on the I/O thread: it clears pingOutstanding and applies the latency rule and the load flags.
#include <array>
#include <chrono>
#include <cstdint>
#include <thread>

#include "comm/send_message.h"
#include "comm/sock_comm_session.h"
#include "comm/utc_clock.h"
#include "logging/log.h"
#include "protocol/message_codes.h"
#include "protocol/session_records.h"

namespace sondrel {
namespace {

constexpr std::chrono::milliseconds kPingPollInterval{10};
// 2 seconds in polling steps.
constexpr int kPingPollSteps = 200;

}  // namespace

void SockCommSession::PingServer() {
  LOG_DEBUG(logger(), address() << " PingServer --> conn status is: " << serverState().state);
  if (!pingEchoes() || timerStopped()) {
    LOG_DEBUG(logger(), address() << " Server is old and sends ping on a separate thread.");
    LOG_DEBUG(logger(), address() << " PingServer <-- ");
    return;
  }
  if (serverState().state >= Server_Down) {
    LOG_DEBUG(logger(), address() << " Server connection is closing.");
    LOG_DEBUG(logger(), address() << " PingServer <-- ");
    return;
  }
  std::array<uint8_t, kPingPayloadSize> timestamp = MakePing(UtcMicrosecondsSince1400());
  pingOutstanding_.store(1);
  if (send_message(*this, 0, 0, 0, MessageType::Ping, MessageKind::OneWay, timestamp.data(),
                   timestamp.size(), true, 0, 0) != 0) {
    pingOutstanding_.store(0);
  } else {
    LOG_DEBUG(logger(), address() << " PingServer wait ");
    for (int step = 0; step < kPingPollSteps && pingOutstanding() != 0 && !timerStopped() &&
                       !connectInterrupted() && serverState().state <= Server_Overloaded;
         ++step) {
      std::this_thread::sleep_for(kPingPollInterval);
    }
    if (pingOutstanding() != 0) {
      slowPingCount_.fetch_add(1);
    }
    LOG_DEBUG(logger(),
              address() << " PingServer wait end. conn status is: " << serverState().state);
  }
  LOG_DEBUG(logger(), address() << " PingServer <-- ");
}

}  // namespace sondrel
