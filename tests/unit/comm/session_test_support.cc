#include "unit/comm/session_test_support.h"

#include <chrono>
#include <cstring>
#include <sstream>
#include <thread>

namespace sondrel::test {

std::vector<uint8_t> HelloRecord() {
  std::vector<uint8_t> record(292, 0);
  record[0] = 3;
  record[2] = 3;
  const char engine[] = "7.1.42";
  std::memcpy(record.data() + 5, engine, sizeof(engine) - 1);
  return record;
}

std::shared_ptr<SockCommSession> NewSession(ChannelTable* table) {
  auto session = std::make_shared<SockCommSession>("qx.sondrel.comm", table);
  session->SetChannels(table);
  session->SetRequestTimeoutMs(3000);
  return session;
}

void PointAt(SockCommSession& session, const FakeServer& server) {
  session.SetHost("127.0.0.1");
  session.SetPort(std::to_string(server.port()));
  const std::vector<uint8_t> hello = HelloRecord();
  session.SetHelloPayload(hello.data(), static_cast<uint32_t>(hello.size()));
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

std::string LoggedAddress(const SockCommSession& session) {
  std::ostringstream text;
  text << static_cast<const void*>(&session);
  return text.str();
}

void HelloLog::Record(const CommMessagePtr& message, void* context, void* requester) {
  auto* log = static_cast<HelloLog*>(context);
  std::lock_guard<std::mutex> lock(log->mutex_);
  log->messages_.push_back(message);
  log->requesters_.push_back(requester);
}

size_t HelloLog::size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_.size();
}

std::vector<CommMessagePtr> HelloLog::messages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_;
}

std::vector<void*> HelloLog::requesters() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requesters_;
}

}  // namespace sondrel::test
