#include "server/metrics_http.h"

#include <boost/asio/post.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <chrono>

#include "server/listening_socket.h"
#include "server/server_log.h"

namespace sondrel::server {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

constexpr auto kRequestTimeout = std::chrono::seconds(10);

// One HTTP exchange: read the request, write the answer, close.
class MetricsExchange : public std::enable_shared_from_this<MetricsExchange> {
 public:
  MetricsExchange(tcp::socket socket, MetricsHttp::Render render)
      : stream_(std::move(socket)), render_(std::move(render)) {}

  void Start() {
    stream_.expires_after(kRequestTimeout);
    http::async_read(stream_, buffer_, request_,
                     [self = shared_from_this()](const beast::error_code& error, size_t) {
                       self->OnRequest(error);
                     });
  }

 private:
  void OnRequest(const beast::error_code& error) {
    if (error) {
      return;
    }
    response_.version(request_.version());
    response_.keep_alive(false);
    if (request_.method() == http::verb::get && request_.target() == "/metrics") {
      response_.result(http::status::ok);
      response_.set(http::field::content_type, "text/plain; version=0.0.4");
      response_.body() = render_();
    } else {
      response_.result(http::status::not_found);
      response_.set(http::field::content_type, "text/plain");
      response_.body() = "not found\n";
    }
    response_.prepare_payload();
    http::async_write(stream_, response_,
                      [self = shared_from_this()](const beast::error_code&, size_t) {
                        beast::error_code ignored;
                        self->stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
                      });
  }

  beast::tcp_stream stream_;
  const MetricsHttp::Render render_;
  beast::flat_buffer buffer_;
  http::request<http::string_body> request_;
  http::response<http::string_body> response_;
};

}  // namespace

MetricsHttp::MetricsHttp(asio::io_context& io, Render render)
    : io_(io), render_(std::move(render)), strand_(asio::make_strand(io)), acceptor_(strand_) {}

bool MetricsHttp::Open(const ListenAddress& address, std::string& error) {
  return OpenListeningSocket(acceptor_, address, " for metrics", error);
}

ListenAddress MetricsHttp::bound() const {
  return BoundAddress(acceptor_);
}

void MetricsHttp::Start() {
  asio::post(strand_, [self = shared_from_this()] { self->Accept(); });
}

void MetricsHttp::Stop() {
  asio::post(strand_, [self = shared_from_this()] {
    boost::system::error_code ignored;
    self->acceptor_.close(ignored);
  });
}

void MetricsHttp::Accept() {
  acceptor_.async_accept(
      io_, [self = shared_from_this()](const boost::system::error_code& error, tcp::socket socket) {
        if (!self->acceptor_.is_open()) {
          return;
        }
        if (!error) {
          std::make_shared<MetricsExchange>(std::move(socket), self->render_)->Start();
        } else {
          SERVER_WARN("metrics accept: " << error.message());
        }
        self->Accept();
      });
}

}  // namespace sondrel::server
