#include "support/fault_proxy/proxy_connection.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/write.hpp>

namespace sondrel::test {

using boost::asio::ip::tcp;

ProxyConnection::Pump::Pump(tcp::socket& fromSocket, tcp::socket& toSocket)
    : from(fromSocket), to(toSocket), hold(fromSocket.get_executor()) {}

ProxyConnection::ProxyConnection(tcp::socket client, const FaultPlan& plan,
                                 std::atomic<uint64_t>& cuts)
    : client_(std::move(client)),
      server_(client_.get_executor()),
      toServer_(client_, server_),
      toClient_(server_, client_),
      plan_(plan),
      cuts_(cuts) {}

void ProxyConnection::Start(const tcp::endpoint& server) {
  server_.async_connect(server,
                        [self = shared_from_this()](const boost::system::error_code& error) {
                          if (error || self->closed_) {
                            self->Close();
                            return;
                          }
                          boost::system::error_code ignored;
                          self->server_.set_option(tcp::no_delay(true), ignored);
                          self->client_.set_option(tcp::no_delay(true), ignored);
                          self->read(self->toServer_);
                          self->read(self->toClient_);
                        });
}

void ProxyConnection::read(Pump& pump) {
  if (closed_) {
    return;
  }
  pump.from.async_read_some(
      boost::asio::buffer(pump.buffer),
      [self = shared_from_this(), &pump](const boost::system::error_code& error, size_t length) {
        if (error) {
          self->Close();
          return;
        }
        self->on_read(pump, length);
      });
}

void ProxyConnection::on_read(Pump& pump, size_t length) {
  pump.length = length;
  pump.arrived = FaultPlan::Clock::now();
  if (cutArmed_) {
    // Half of the chunk, so that the peer is left inside a message.
    cutArmed_ = false;
    ++cuts_;
    write(pump, length / 2, true);
    return;
  }
  release(pump);
}

void ProxyConnection::release(Pump& pump) {
  if (closed_) {
    return;
  }
  const FaultPlan::Clock::time_point at = plan_.ReleaseTime(pump.arrived);
  if (at <= FaultPlan::Clock::now()) {
    pump.holding = false;
    write(pump, pump.length, false);
    return;
  }
  pump.holding = true;
  pump.hold.expires_at(at);
  pump.hold.async_wait([self = shared_from_this(), &pump](const boost::system::error_code&) {
    self->release(pump);
  });
}

void ProxyConnection::write(Pump& pump, size_t length, bool closeAfter) {
  boost::asio::async_write(pump.to, boost::asio::buffer(pump.buffer.data(), length),
                           [self = shared_from_this(), &pump, closeAfter](
                               const boost::system::error_code& error, size_t) {
                             if (error || closeAfter) {
                               self->Close();
                               return;
                             }
                             self->read(pump);
                           });
}

void ProxyConnection::Wake() {
  for (Pump* pump : {&toServer_, &toClient_}) {
    if (pump->holding) {
      pump->hold.cancel();
    }
  }
}

void ProxyConnection::Close() {
  if (closed_) {
    return;
  }
  closed_ = true;
  boost::system::error_code ignored;
  client_.close(ignored);
  server_.close(ignored);
  toServer_.hold.cancel();
  toClient_.hold.cancel();
}

}  // namespace sondrel::test
