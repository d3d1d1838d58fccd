#include "support/fault_proxy/fault_proxy.h"

#include <boost/asio/post.hpp>

#include "support/fault_proxy/proxy_connection.h"

namespace sondrel::test {

using boost::asio::ip::tcp;

FaultProxy::FaultProxy(const std::string& address, uint16_t port)
    : acceptor_(io_), address_(boost::asio::ip::make_address(address)) {
  const tcp::endpoint endpoint(address_, port);
  acceptor_.open(endpoint.protocol());
  acceptor_.set_option(tcp::acceptor::reuse_address(true));
  acceptor_.bind(endpoint);
  acceptor_.listen();
  port_ = acceptor_.local_endpoint().port();
  accept();
  thread_ = std::thread([this] { io_.run(); });
}

FaultProxy::~FaultProxy() {
  // Closing everything ends every handler, and with them the I/O thread's run.
  boost::asio::post(io_, [this] {
    boost::system::error_code ignored;
    acceptor_.close(ignored);
    each_open([](ProxyConnection& connection) { connection.Close(); });
  });
  thread_.join();
}

void FaultProxy::accept() {
  acceptor_.async_accept([this](const boost::system::error_code& error, tcp::socket socket) {
    if (!acceptor_.is_open()) {
      return;
    }
    if (error) {
      // A connection that failed before it was accepted (or a lack of descriptors) must not end
      // the accepting.
      accept();
      return;
    }
    ++accepted_;
    auto connection = std::make_shared<ProxyConnection>(std::move(socket), plan_, cuts_);
    std::erase_if(connections_, [](const std::weak_ptr<ProxyConnection>& entry) {
      const auto open = entry.lock();
      return !open || open->closed();
    });
    connections_.push_back(connection);
    connection->Start(tcp::endpoint(address_, serverPort_));
    accept();
  });
}

void FaultProxy::each_open(void (*action)(ProxyConnection&)) {
  for (const auto& entry : connections_) {
    if (const auto connection = entry.lock(); connection && !connection->closed()) {
      action(*connection);
    }
  }
}

void FaultProxy::SetServer(uint16_t port) {
  boost::asio::post(io_, [this, port] { serverPort_ = port; });
}

void FaultProxy::Cut(uint32_t pick) {
  boost::asio::post(io_, [this, pick] {
    std::vector<std::shared_ptr<ProxyConnection>> open;
    for (const auto& entry : connections_) {
      if (auto connection = entry.lock(); connection && !connection->closed()) {
        open.push_back(std::move(connection));
      }
    }
    if (!open.empty()) {
      open[pick % open.size()]->ArmCut();
    }
  });
}

void FaultProxy::Delay(std::chrono::milliseconds perChunk, std::chrono::milliseconds period) {
  boost::asio::post(io_, [this, perChunk, period] {
    plan_.delay = perChunk;
    plan_.delayUntil = FaultPlan::Clock::now() + period;
  });
}

void FaultProxy::Stall(std::chrono::milliseconds period) {
  boost::asio::post(io_, [this, period] {
    plan_.stallUntil = std::max(plan_.stallUntil, FaultPlan::Clock::now() + period);
  });
}

void FaultProxy::Heal() {
  boost::asio::post(io_, [this] {
    plan_.delayUntil = plan_.stallUntil = FaultPlan::Clock::now();
    each_open([](ProxyConnection& connection) {
      connection.DisarmCut();
      connection.Wake();
    });
  });
}

}  // namespace sondrel::test
