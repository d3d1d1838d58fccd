#include "status_server.h"

#include <array>
#include <boost/asio/read_until.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <exception>
#include <filesystem>
#include <system_error>
#include <utility>

#include "logging/log.h"

namespace sondrel::kalvix {
namespace {

namespace asio = boost::asio;
namespace fs = std::filesystem;
using Local = asio::local::stream_protocol;

constexpr const char* kStatusRequest = "status";
constexpr auto kAcceptRetry = std::chrono::milliseconds(100);

std::string Refusal(const char* reason) {
  return std::string("{\"error\":\"") + reason + "\"}";
}

}  // namespace

class StatusServer::Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(Local::socket socket, const StatusServer& server)
      : socket_(std::move(socket)),
        timer_(socket_.get_executor()),
        server_(server),
        open_(server.open_) {
    ++*open_;
  }
  ~Connection() { --*open_; }

  void Start() {
    auto self = shared_from_this();
    timer_.expires_after(server_.limits_.timeout);
    timer_.async_wait([self](const boost::system::error_code& error) {
      if (!error) {
        self->Close();
      }
    });
    asio::async_read_until(socket_, asio::dynamic_buffer(request_, server_.limits_.maxRequestBytes),
                           '\n', [self](const boost::system::error_code& error, size_t length) {
                             self->OnRequest(error, length);
                           });
  }

 private:
  void OnRequest(const boost::system::error_code& error, size_t length) {
    if (error == asio::error::not_found) {
      Reply(Refusal("request too long"));
      return;
    }
    // A peer may also end its request by closing its side.
    const bool ended = error == asio::error::eof && !request_.empty();
    if (error && !ended) {
      Close();
      return;
    }
    std::string line = request_.substr(0, ended ? request_.size() : length);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
      line.pop_back();
    }
    if (line != kStatusRequest) {
      Reply(Refusal("unknown request"));
      return;
    }
    try {
      Reply(server_.answer_());
    } catch (const std::exception&) {
      Reply(Refusal("status unavailable"));
    }
  }

  void Reply(std::string answer) {
    answer_ = std::move(answer) + "\n";
    auto self = shared_from_this();
    asio::async_write(socket_, asio::buffer(answer_),
                      [self](const boost::system::error_code& error, size_t) {
                        if (error) {
                          self->Close();
                          return;
                        }
                        boost::system::error_code ignored;
                        self->socket_.shutdown(Local::socket::shutdown_send, ignored);
                        self->Drain();
                      });
  }

  // Whatever the peer still sends is read and dropped until it closes or the time-out ends the
  // connection: closing with unread bytes would reset the connection and could lose the answer.
  void Drain() {
    auto self = shared_from_this();
    socket_.async_read_some(asio::buffer(discard_),
                            [self](const boost::system::error_code& error, size_t) {
                              if (error) {
                                self->Close();
                              } else {
                                self->Drain();
                              }
                            });
  }

  void Close() {
    boost::system::error_code ignored;
    timer_.cancel();
    socket_.close(ignored);
  }

  Local::socket socket_;
  asio::steady_timer timer_;
  const StatusServer& server_;
  const std::shared_ptr<std::atomic<size_t>> open_;
  std::string request_;
  std::string answer_;
  std::array<char, 4096> discard_;
};

StatusServer::StatusServer(LoggerPtr logger, Answer answer, Limits limits)
    : acceptor_(io_), logger_(std::move(logger)), answer_(std::move(answer)), limits_(limits) {}

StatusServer::~StatusServer() {
  Stop();
}

bool StatusServer::Start(const std::string& path) {
  std::error_code ignored;
  const fs::file_status existing = fs::symlink_status(path, ignored);
  if (fs::exists(existing)) {
    if (!fs::is_socket(existing)) {
      LOG_WARN(logger_, "Kalvix: cannot open the status socket "
                            << path << ": a file that is no socket is there");
      return false;
    }
    fs::remove(path, ignored);
  }
  try {
    acceptor_.open(Local());
    acceptor_.bind(Local::endpoint(path));
    path_ = path;
    // Before it listens nobody can connect, so the socket is never open to others.
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write,
                    fs::perm_options::replace);
    acceptor_.listen();
    Accept();
    thread_ = std::thread([this] { io_.run(); });
  } catch (const std::exception& error) {
    LOG_WARN(logger_, "Kalvix: cannot open the status socket " << path << ": " << error.what());
    boost::system::error_code closed;
    acceptor_.close(closed);
    if (!path_.empty()) {
      fs::remove(path_, ignored);
      path_.clear();
    }
    return false;
  }
  LOG_INFO(logger_, "Kalvix: status socket " << path << " is open");
  return true;
}

void StatusServer::Accept() {
  acceptor_.async_accept([this](const boost::system::error_code& error, Local::socket socket) {
    if (error == asio::error::operation_aborted || !acceptor_.is_open()) {
      return;
    }
    if (error) {
      // Out of descriptors, for example: try again a little later instead of spinning.
      auto retry = std::make_shared<asio::steady_timer>(io_, kAcceptRetry);
      retry->async_wait([this, retry](const boost::system::error_code&) { Accept(); });
      return;
    }
    if (open_->load() < limits_.maxConnections) {
      std::make_shared<Connection>(std::move(socket), *this)->Start();
    }
    Accept();
  });
}

void StatusServer::Stop() {
  if (!thread_.joinable()) {
    return;
  }
  io_.stop();
  thread_.join();
  boost::system::error_code closed;
  acceptor_.close(closed);
  std::error_code ignored;
  if (fs::is_socket(fs::symlink_status(path_, ignored))) {
    fs::remove(path_, ignored);
  }
  LOG_INFO(logger_, "Kalvix: status socket " << path_ << " is closed");
}

}  // namespace sondrel::kalvix
