#include "support/fake_server/session_script.h"

namespace sondrel::test {

void ServeSession(FakeConnection& connection, const SessionScript& script) {
  while (const std::optional<WireFrame> frame = connection.ReadFrame()) {
    bool goOn = true;
    if (frame->messageType == kHelloType) {
      if (const std::optional<WireFrame> answer = script.hello(*frame)) {
        goOn = connection.Send(*answer);
      }
    } else if (frame->messageType == kPingType) {
      connection.Sleep(script.pingDelayMs);
      if (script.ping == SessionScript::Ping::Echo) {
        goOn = connection.Send(PingAnswer(frame->PlainPayload(), script.pingStatus));
      } else if (script.ping == SessionScript::Ping::EmptyEcho) {
        goOn = connection.Send(PingAnswer({}, script.pingStatus));
      }
    } else if (frame->messageType == kRunningDataType && script.runningData) {
      goOn = connection.Send(*script.runningData);
    } else if (script.onMessage) {
      goOn = script.onMessage(connection, *frame);
    }
    if (!goOn) {
      return;
    }
  }
}

}  // namespace sondrel::test
