// A scan server's side of a session, scripted: how it answers the hello, the pings and the request
// for running-server data, and what it does with every other message.
//
//   FakeServer server([](FakeConnection& connection) {
//     SessionScript script;
//     script.hello = [](const WireFrame&) { return HelloAnswer(0, 0x4); };
//     script.onMessage = [](FakeConnection& c, const WireFrame& request) {
//       return c.Send(AnswerTo(request, 104, 1));
//     };
//     ServeSession(connection, script);
//   });
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "support/fake_server/fake_server.h"
#include "support/fake_server/server_frames.h"
#include "support/fake_server/wire_frame.h"

namespace sondrel::test {

// The running identity the scripted server reports unless a test chooses another.
inline constexpr std::array<uint8_t, 16> kTestServerId = {
    0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE};

struct SessionScript {
  enum class Ping { Echo, EmptyEcho, Silent };

  // The answer to the hello; nothing leaves it unanswered.
  std::function<std::optional<WireFrame>(const WireFrame& hello)> hello = [](const WireFrame&) {
    return std::optional<WireFrame>(HelloAnswer(0));
  };
  // The answer to the request for running-server data; without one the request goes to onMessage.
  std::optional<WireFrame> runningData = RunningServerData(24, kTestServerId, 3, 1);
  // Pings are echoed (after pingDelayMs, with pingStatus as the load flags), answered without
  // payload, or ignored.
  Ping ping = Ping::Echo;
  int pingDelayMs = 0;
  uint32_t pingStatus = 0;
  // Every other message; returning false ends the script.
  std::function<bool(FakeConnection&, const WireFrame&)> onMessage;
};

// Serves one connection until the client ends it, the script ends it or the server stops.
void ServeSession(FakeConnection& connection, const SessionScript& script);

}  // namespace sondrel::test
