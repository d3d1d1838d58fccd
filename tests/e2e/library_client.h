// The client library as a host uses it, for the end-to-end tests against real scan servers: a
// settings file of the test's own, Init (one context per host thread), Scan and Disinfect with
// host callbacks over files held in memory, and the final Uninit.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/c_sondrel.h"
#include "support/temp_dir.h"

namespace sondrel::test {

// A file of the host: its bytes in memory, and a hook that runs before every read.
class HostFile {
 public:
  explicit HostFile(std::string content) : content_(std::move(content)) {}

  const std::string& content() const { return content_; }
  // Runs on the host thread before each read with the read's offset.
  void OnRead(std::function<void(uint64_t offset)> hook) { onRead_ = std::move(hook); }
  HostCallbacks Callbacks();
  uint64_t reads() const { return reads_.load(); }

 private:
  std::string content_;
  std::function<void(uint64_t)> onRead_;
  std::atomic<uint64_t> reads_{0};
};

struct ScanOutcome {
  int32_t status = 0;
  int32_t verdict = 0;
  std::string threat;
};

struct LibraryServer {
  LibraryServer(std::string serverAddress = "127.0.0.1", int serverPriority = 0,
                std::string serverPin = "")
      : address(std::move(serverAddress)), priority(serverPriority), tlsPin(std::move(serverPin)) {}

  std::string address;
  int priority;
  // The server's own pin (the "tlspin" of its entry); empty: none.
  std::string tlsPin;
};

class LibraryClient {
 public:
  // `settings`: further elements of the settings file, such as "<usecache>0</usecache>"; they
  // come first, so they win over the test's own values.
  LibraryClient(const std::vector<LibraryServer>& servers, uint16_t port,
                const std::string& settings = "", bool tls = false);
  ~LibraryClient();

  // Init for one more host thread; false when Init failed or no server became usable within
  // `wait`.
  bool Init(int contexts = 1, std::chrono::milliseconds wait = std::chrono::seconds(10));
  ScanContext* context(size_t index = 0) const { return contexts_.at(index); }
  ScanOutcome Scan(HostFile& file, const std::string& name, size_t contextIndex = 0);
  ScanOutcome Disinfect(HostFile& file, const std::string& name, size_t contextIndex = 0);

 private:
  TempDir dir_;
  CSondrel client_;
  std::vector<ScanContext*> contexts_;
};

// The EICAR test string.
extern const char* const kEicar;

}  // namespace sondrel::test
