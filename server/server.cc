#include "server/server.h"

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid.hpp>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/child_process.h"
#include "server/connection.h"
#include "server/engine_holder.h"
#include "server/listener.h"
#include "server/metrics.h"
#include "server/metrics_http.h"
#include "server/redis_cache.h"
#include "server/scan_queue.h"
#include "server/server_cache.h"
#include "server/server_context.h"
#include "server/server_log.h"
#include "server/signal_handler.h"

namespace sondrel::server {
namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

// The open connections, for the load notices and the shutdown.
class ConnectionRegistry {
 public:
  void Add(const std::shared_ptr<Connection>& connection) {
    std::lock_guard<std::mutex> lock(mutex_);
    connections_.emplace(connection.get(), connection);
  }
  void Remove(Connection* connection) {
    std::lock_guard<std::mutex> lock(mutex_);
    connections_.erase(connection);
  }
  bool empty() {
    std::lock_guard<std::mutex> lock(mutex_);
    return connections_.empty();
  }
  template <typename Visit>
  void ForEach(Visit visit) {
    std::vector<std::shared_ptr<Connection>> open;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (const auto& [key, connection] : connections_) {
        if (auto alive = connection.lock()) {
          open.push_back(std::move(alive));
        }
      }
    }
    for (const auto& connection : open) {
      visit(*connection);
    }
  }

 private:
  std::mutex mutex_;
  std::map<Connection*, std::weak_ptr<Connection>> connections_;
};

std::string OpenSslReason() {
  const unsigned long code = ERR_peek_last_error();
  const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
  ERR_clear_error();
  return reason != nullptr ? reason : "no certificate in it";
}

// Clients must show a certificate that an authority of `caFile` signed; the server names those
// authorities in its request for one.
bool RequireClientCertificates(asio::ssl::context& context, const std::string& caFile) {
  SSL_CTX* native = context.native_handle();
  STACK_OF(X509_NAME)* names = SSL_load_client_CA_file(caFile.c_str());
  if (names == nullptr || SSL_CTX_load_verify_file(native, caFile.c_str()) != 1) {
    sk_X509_NAME_pop_free(names, X509_NAME_free);
    return false;
  }
  SSL_CTX_set_client_CA_list(native, names);
  SSL_CTX_set_verify(native, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, nullptr);
  // Resumed sessions are only accepted for this context's verified clients.
  static constexpr unsigned char kSessionContext[] = "sondrel-server";
  return SSL_CTX_set_session_id_context(native, kSessionContext, sizeof(kSessionContext) - 1) == 1;
}

std::unique_ptr<asio::ssl::context> MakeTlsContext(const ServerOptions& options,
                                                   std::string& error) {
  std::unique_ptr<asio::ssl::context> context;
  try {
    context = std::make_unique<asio::ssl::context>(asio::ssl::context::tls_server);
    context->set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                         asio::ssl::context::no_sslv3 | asio::ssl::context::single_dh_use);
    context->use_certificate_chain_file(options.tlsCert);
    context->use_private_key_file(options.tlsKey, asio::ssl::context::pem);
  } catch (const boost::system::system_error& failure) {
    error = std::string("cannot use the TLS certificate or key: ") + failure.what();
    return nullptr;
  }
  if (!options.tlsClientCa.empty() && !RequireClientCertificates(*context, options.tlsClientCa)) {
    error = "cannot use the client CA file " + options.tlsClientCa + ": " + OpenSslReason();
    return nullptr;
  }
  return context;
}

ServerIdentity NewRunningId() {
  const boost::uuids::uuid uuid = boost::uuids::random_generator()();
  ServerIdentity id{};
  std::copy(uuid.begin(), uuid.end(), id.begin());
  return id;
}

std::chrono::steady_clock::duration Seconds(double seconds) {
  return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      std::chrono::duration<double>(seconds));
}

}  // namespace

int RunServer(const ServerOptions& options, std::ostream& out) {
  SetLogLevel(options.logLevel);
  // Every client holds a connection: as many as the hard limit allows.
  SERVER_DEBUG("open files allowed: " << platform::RaiseOpenFileLimit());
  EngineHolder engines(options.databases,
                       {options.maxFileSize, static_cast<uint32_t>(options.scanTimeout * 1000),
                        !options.sharedCache.empty()});
  std::string error;
  if (!engines.Load(error)) {
    SERVER_ERROR(error);
    return 1;
  }
  std::unique_ptr<asio::ssl::context> tls;
  if (!options.tlsListen.empty()) {
    tls = MakeTlsContext(options, error);
    if (tls == nullptr) {
      SERVER_ERROR(error);
      return 1;
    }
  }
  LruServerCache cache(options.cacheEntries);
  Metrics metrics;
  ScanQueue queue(options.workers, options.queueSize);
  std::unique_ptr<RedisSharedCache> sharedCache;
  if (!options.sharedCache.empty()) {
    RedisCacheSettings settings;
    settings.address = ParseRedisUrl(options.sharedCache).value_or(RedisAddress{});
    settings.timeout = std::chrono::milliseconds(
        std::max<int64_t>(1, static_cast<int64_t>(options.sharedCacheTimeout * 1000)));
    settings.expiry = std::chrono::seconds(static_cast<int64_t>(options.sharedCacheExpiry));
    sharedCache = std::make_unique<RedisSharedCache>(settings);
    SERVER_INFO("shared cache " << FormatRedisUrl(settings.address) << ", database version "
                                << engines.Current()->databaseVersion());
  }
  ServerContext context{options, engines, cache, queue, metrics, NewRunningId(), sharedCache.get()};
  ConnectionRegistry connections;
  std::atomic<bool> stopping{false};

  asio::io_context io(static_cast<int>(options.ioThreads));
  // Caught from before the first listening line, so that a signal never meets the default action.
  std::mutex shutdownMutex;
  std::condition_variable shutdownAsked;
  bool shutdown = false;
  SignalHandler signals(
      io,
      [&] {
        engines.Reload([&cache, &metrics](const Engine* engine) {
          metrics.CountReload(engine != nullptr);
          if (engine != nullptr) {
            cache.Clear();
          }
        });
      },
      [&] {
        std::lock_guard<std::mutex> lock(shutdownMutex);
        shutdown = true;
        shutdownAsked.notify_all();
      });
  signals.Start();
  const auto accepted = [&](tcp::socket socket, bool useTls) {
    if (stopping.load()) {
      return;
    }
    const auto onClosed = [&connections](Connection* closed) { connections.Remove(closed); };
    std::shared_ptr<Connection> connection =
        useTls ? MakeTlsConnection(std::move(socket), *tls, context, onClosed)
               : MakePlainConnection(std::move(socket), context, onClosed);
    connections.Add(connection);
    connection->Start();
  };
  std::vector<std::shared_ptr<Listener>> listeners;
  std::vector<std::string> lines;
  for (const bool useTls : {false, true}) {
    for (const ListenAddress& address : useTls ? options.tlsListen : options.listen) {
      auto listener = std::make_shared<Listener>(io, useTls, accepted);
      if (!listener->Open(address, error)) {
        SERVER_ERROR(error);
        return 1;
      }
      lines.push_back("listening " + FormatListenAddress(listener->bound()));
      listeners.push_back(std::move(listener));
    }
  }
  std::shared_ptr<MetricsHttp> metricsHttp;
  if (options.metrics) {
    metricsHttp = std::make_shared<MetricsHttp>(io, [&] {
      return metrics.Render({queue.queued(), queue.running(), cache.size(), queue.LoadFlags(),
                             sharedCache ? sharedCache->failures() : 0});
    });
    if (!metricsHttp->Open(*options.metrics, error)) {
      SERVER_ERROR(error);
      return 1;
    }
    lines.push_back("metrics " + FormatListenAddress(metricsHttp->bound()));
  }
  for (const std::string& line : lines) {
    out << line << "\n";
  }
  out.flush();

  queue.SetLoadListener([&connections](uint32_t flags) {
    SERVER_DEBUG("load flags now " << flags);
    connections.ForEach([](Connection& connection) { connection.AnnounceLoad(); });
  });
  queue.Start();
  for (const auto& listener : listeners) {
    listener->Start();
  }
  if (metricsHttp != nullptr) {
    metricsHttp->Start();
  }

  std::vector<std::thread> ioThreads;
  for (unsigned i = 0; i < options.ioThreads; ++i) {
    ioThreads.emplace_back([&io] { io.run(); });
  }
  SERVER_INFO("sondrel-server " << kServerVersionMajor << "." << kServerVersionMinor
                                << " ready: " << options.workers << " workers");
  {
    std::unique_lock<std::mutex> lock(shutdownMutex);
    shutdownAsked.wait(lock, [&] { return shutdown; });
  }

  SERVER_INFO("shutting down: " << queue.running() + queue.queued() << " scans to finish");
  stopping.store(true);
  for (const auto& listener : listeners) {
    listener->Stop();
  }
  queue.BeginShutdown();
  if (!queue.WaitIdle(std::chrono::steady_clock::now() + Seconds(options.shutdownTimeout))) {
    SERVER_WARN("shutdown time-out: " << queue.running() + queue.queued()
                                      << " scans are abandoned");
  }
  // The last answers are written before the connections close; a client that does not take them
  // within the frame time-out is closed regardless.
  connections.ForEach([](Connection& connection) { connection.CloseAfterWrites(); });
  const auto flushed = std::chrono::steady_clock::now() + Seconds(options.frameTimeout);
  while (!connections.empty() && std::chrono::steady_clock::now() < flushed) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  connections.ForEach([](Connection& connection) { connection.Close("the server stops"); });
  queue.Stop();
  engines.Join();
  if (metricsHttp != nullptr) {
    metricsHttp->Stop();
  }
  signals.Stop();
  io.stop();
  for (std::thread& thread : ioThreads) {
    thread.join();
  }
  SERVER_INFO("stopped");
  return 0;
}

}  // namespace sondrel::server
