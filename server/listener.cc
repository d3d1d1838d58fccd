#include "server/listener.h"

#include <boost/asio/post.hpp>
#include <chrono>

#include "server/listening_socket.h"
#include "server/server_log.h"

namespace sondrel::server {
namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

// After a failed accept (no file descriptor left, for instance) the next one waits this long.
constexpr auto kAcceptRetry = std::chrono::milliseconds(100);

}  // namespace

Listener::Listener(asio::io_context& io, bool tls, Accepted accepted)
    : io_(io),
      tls_(tls),
      accepted_(std::move(accepted)),
      strand_(asio::make_strand(io)),
      acceptor_(strand_),
      retry_(strand_) {}

bool Listener::Open(const ListenAddress& address, std::string& error) {
  return OpenListeningSocket(acceptor_, address, "", error);
}

ListenAddress Listener::bound() const {
  return BoundAddress(acceptor_);
}

void Listener::Start() {
  asio::post(acceptor_.get_executor(), [self = shared_from_this()] { self->Accept(); });
}

void Listener::Stop() {
  asio::post(acceptor_.get_executor(), [self = shared_from_this()] {
    boost::system::error_code ignored;
    self->acceptor_.close(ignored);
    self->retry_.cancel();
  });
}

void Listener::Accept() {
  acceptor_.async_accept(
      io_, [self = shared_from_this()](const boost::system::error_code& error, tcp::socket socket) {
        if (!self->acceptor_.is_open()) {
          return;
        }
        if (error) {
          SERVER_WARN("accept: " << error.message());
          self->retry_.expires_after(kAcceptRetry);
          self->retry_.async_wait([self](const boost::system::error_code& waitError) {
            if (!waitError) {
              self->Accept();
            }
          });
          return;
        }
        boost::system::error_code ignored;
        socket.set_option(tcp::no_delay(true), ignored);
        socket.set_option(asio::socket_base::keep_alive(true), ignored);
        self->accepted_(std::move(socket), self->tls_);
        self->Accept();
      });
}

}  // namespace sondrel::server
