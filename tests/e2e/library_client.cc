#include "e2e/library_client.h"

#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

namespace sondrel::test {

const char* const kEicar = "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";

HostCallbacks HostFile::Callbacks() {
  HostCallbacks callbacks{};
  callbacks.user = this;
  callbacks.getSize = [](uint32_t* low, uint32_t* high, void* user) {
    const uint64_t size = static_cast<HostFile*>(user)->content_.size();
    *low = static_cast<uint32_t>(size);
    *high = static_cast<uint32_t>(size >> 32);
    return int32_t{0};
  };
  callbacks.read = [](void* buffer, const HostFileRange* range, uint32_t* read, void* user) {
    auto& file = *static_cast<HostFile*>(user);
    ++file.reads_;
    if (file.onRead_) {
      file.onRead_(range->offset);
    }
    const std::string& content = file.content_;
    const size_t offset = std::min<size_t>(range->offset, content.size());
    *read = static_cast<uint32_t>(std::min<size_t>(range->count, content.size() - offset));
    std::memcpy(buffer, content.data() + offset, *read);
    return int32_t{0};
  };
  return callbacks;
}

LibraryClient::LibraryClient(const std::vector<LibraryServer>& servers, uint16_t port,
                             const std::string& settings, bool tls) {
  std::string list;
  for (const LibraryServer& server : servers) {
    list += "<server><address>" + server.address + "</address><priority>" +
            std::to_string(server.priority) + "</priority><useSSL>" + (tls ? "1" : "0") +
            "</useSSL>" + (server.tlsPin.empty() ? "" : "<tlspin>" + server.tlsPin + "</tlspin>") +
            "</server>";
  }
  std::filesystem::create_directories(dir_.path() / "settings");
  std::ofstream(dir_.path() / "settings" / "qxcore.xml")
      << "<qxcore>" << settings << "<port>" << port << "</port><portSSL>" << port
      << "</portSSL><servers>" << list
      << "</servers><timeout>10000</timeout><reconnectInterval>1</reconnectInterval>"
      << "<minserverconnections>" << servers.size() << "</minserverconnections>"
      << "<maxserverconnections>" << servers.size() << "</maxserverconnections>"
      << "<uselocalcache>0</uselocalcache></qxcore>";
  client_.SetInitEnvironment(
      {.settingsDirectory = dir_.path().wstring(), .settleTime = std::chrono::milliseconds(0)});
}

LibraryClient::~LibraryClient() {
  for (size_t i = 0; i < contexts_.size(); ++i) {
    client_.Uninit(contexts_[i], i + 1 == contexts_.size() ? SONDREL_UNINIT_FINAL : 0);
  }
}

bool LibraryClient::Init(int contexts, std::chrono::milliseconds wait) {
  for (int i = 0; i < contexts; ++i) {
    ScanContext* context = nullptr;
    if (client_.Init(&context, dir_.path().string().c_str()) != 0) {
      return false;
    }
    contexts_.push_back(context);
  }
  const auto deadline = std::chrono::steady_clock::now() + wait;
  while (!client_.canScanRemote() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return client_.canScanRemote();
}

ScanOutcome LibraryClient::Scan(HostFile& file, const std::string& name, size_t contextIndex) {
  ScanOutcome outcome;
  HostCallbacks callbacks = file.Callbacks();
  char threat[256] = {};
  int32_t flags = 0;
  ScanRequest request{};
  request.path = name.c_str();
  request.verdict = &outcome.verdict;
  request.threatName = threat;
  request.threatNameCapacity = sizeof(threat);
  request.cacheAllowed = 1;
  request.flags = &flags;
  outcome.status = client_.Scan(&callbacks, &request, contexts_.at(contextIndex));
  outcome.threat = threat;
  return outcome;
}

ScanOutcome LibraryClient::Disinfect(HostFile& file, const std::string& name, size_t contextIndex) {
  ScanOutcome outcome;
  HostCallbacks callbacks = file.Callbacks();
  const DisinfectRequest request{&outcome.verdict, name.c_str(), nullptr, nullptr};
  outcome.status = client_.Disinfect(&callbacks, &request, contexts_.at(contextIndex));
  return outcome;
}

}  // namespace sondrel::test
