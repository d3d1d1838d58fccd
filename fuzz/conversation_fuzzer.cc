// Feeds arbitrary records to the conversation handler as a waiting request receives them: read,
// write, value and callback requests answered through a host that serves a 2 MiB file, detection
// reports, final and server-cache answers with a local cache store, data notifications, disinfect
// flags and hello answers. The input is a sequence of records (message header, payload, 4 zero
// bytes), each preceded by its length as 2 bytes, little-endian.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "comm/i_sock_comm_client.h"
#include "config/settings_store.h"
#include "logging/logger_registry.h"
#include "protocol/comm_message.h"
#include "protocol/payload_buffer.h"
#include "record_input.h"
#include "scan/cache_exclusions.h"
#include "scan/local_response_cache.h"
#include "scan/scan_context.h"
#include "scan/scan_conversation.h"

namespace {

using namespace sondrel;

constexpr uint64_t kFileSize = 2 * 1024 * 1024 + 100;
volatile uint64_t sink = 0;

void Consume(const void* data, size_t length) {
  uint64_t sum = 0;
  const auto* bytes = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < length; ++i) {
    sum += bytes[i];
  }
  sink = sink + sum;
}

// Takes every reply and releases what is handed over, as the real client does.
class SinkCommClient : public ISockCommClient {
 public:
  int32_t Start() override { return 0; }
  void Stop() override {}
  int32_t SetOption(int32_t, const void*) override { return 0; }
  int32_t ApplyOptions() override { return 0; }
  int32_t AcquireChannel() override { return 0; }
  void ReleaseChannel(int32_t) override {}
  void ReloadServers() override {}
  int32_t SendRequest(void*, int32_t, uint32_t, uint32_t, void* payload, uint32_t length, int32_t,
                      bool callerKeepsPayload) override {
    Consume(payload, length);
    if (!callerKeepsPayload) {
      sondrel::FreePayload(static_cast<uint8_t*>(payload));
    }
    return 0;
  }
  uint8_t* AllocPayload(uint32_t length) override { return sondrel::AllocPayload(length); }
  void FreePayload(uint8_t* payload) override { sondrel::FreePayload(payload); }
  int32_t ConnectBest() override { return kNoUsableSession; }
  void CloseBest() override {}
  int32_t ReceiveBest(CommMessagePtr&) override { return kNoUsableSession; }
  void FreeBuffer(char** buffer) override { *buffer = nullptr; }
  bool GetChannelServer(int32_t, char**, bool*) override { return false; }
  int32_t EnumerateEndpoints(EndpointsCallback, void*) override { return 0; }
  int32_t ListServers(std::vector<CommServerEntry>&) override { return 0; }
};

class SinkCache : public ILocalResponseCache {
 public:
  bool Lookup(uint64_t, std::span<const uint8_t>, uint32_t) override { return false; }
  void Store(uint64_t size, std::span<const uint8_t> fingerprint, uint32_t value) override {
    Consume(fingerprint.data(), fingerprint.size());
    sink = sink + size + value;
  }
};

int32_t GetSize(uint32_t* low, uint32_t* high, void*) {
  *low = static_cast<uint32_t>(kFileSize);
  *high = static_cast<uint32_t>(kFileSize >> 32);
  return 0;
}

int32_t Read(void* buffer, const HostFileRange* range, uint32_t* bytesRead, void*) {
  const uint64_t available = range->offset < kFileSize ? kFileSize - range->offset : 0;
  *bytesRead = static_cast<uint32_t>(std::min<uint64_t>(range->count, available));
  std::memset(buffer, static_cast<int>(range->offset), *bytesRead);
  return 0;
}

int32_t DataNotify(const void* data, uint32_t length, void*) {
  Consume(data, length);
  return 0;
}

int32_t Write(const void* source, const HostFileRange* range, uint32_t* written, void*) {
  Consume(source, range->count);
  *written = range->count;
  return 0;
}

int32_t Value(uint32_t low, uint32_t high, void*) {
  return static_cast<int32_t>(low ^ high);
}

int32_t Callback(uint64_t buffer, uint32_t dataLength, uint32_t capacity, void*) {
  auto* bytes = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(buffer));
  Consume(bytes, dataLength);
  std::memset(bytes, 'A', capacity);
  return static_cast<int32_t>(capacity);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static SettingsStore settings;
  static SinkCommClient client;
  static SinkCache cache;
  HostCallbacks callbacks{};
  callbacks.getSize = &GetSize;
  callbacks.read = &Read;
  callbacks.dataNotify = &DataNotify;
  callbacks.write = &Write;
  callbacks.value = &Value;
  callbacks.callback = &Callback;

  CacheExclusions exclusions;
  auto context = std::make_unique<ScanContext>();
  context->callbacks = &callbacks;
  context->fileReader.callbacks = &callbacks;
  context->useLocalCache = true;
  context->verdict = 1;
  context->hashCopy.assign(16, 0x5A);
  const ConversationServices services{&client, &settings, &exclusions, &cache,
                                      GetLogger("qx.sondrel.scan.manager")};

  fuzz::ForEachRecord(data, size, [&](const CommMessagePtr& record) {
    HandleConversationMessage(record, context.get(), services);
  });
  sink = sink + static_cast<uint64_t>(context->verdict) + context->threatName.size();
  return 0;
}
