#include "support/fake_server/fake_server.h"

#include <gtest/gtest.h>

#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <chrono>
#include <exception>

#include "support/fake_server/self_signed_certificate.h"
#include "support/fake_server/test_authority.h"

namespace sondrel::test {
namespace {

constexpr uint32_t kLargestBodyRead = 256u * 1024 * 1024;

uint32_t Le32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

}  // namespace

FakeConnection::FakeConnection(boost::asio::io_context& io, boost::asio::ip::tcp::socket socket,
                               boost::asio::ssl::context* tls, const std::atomic<bool>& stopping)
    : io_(io), stopping_(stopping) {
  if (tls != nullptr) {
    tlsStream_.emplace(std::move(socket), *tls);
  } else {
    socket_.emplace(std::move(socket));
  }
}

FakeConnection::~FakeConnection() {
  Close();
}

boost::asio::ip::tcp::socket& FakeConnection::Socket() {
  return tlsStream_ ? tlsStream_->next_layer() : *socket_;
}

boost::system::error_code FakeConnection::Run(const std::function<void(Completion)>& start,
                                              int timeoutMs, size_t* bytes) {
  if (stopping_) {
    return boost::asio::error::operation_aborted;
  }
  bool done = false;
  boost::system::error_code result;
  io_.restart();
  start([&](const boost::system::error_code& error, size_t transferred) {
    done = true;
    result = error;
    if (bytes != nullptr) {
      *bytes = transferred;
    }
  });
  io_.run_for(std::chrono::milliseconds(timeoutMs));
  if (!done) {
    boost::system::error_code ignored;
    Socket().cancel(ignored);
    // The completion refers to this frame: it must have run before returning.
    while (!done) {
      io_.restart();
      io_.run_one();
    }
    if (!result) {
      result = boost::asio::error::timed_out;
    }
  }
  return result;
}

bool FakeConnection::Handshake(int timeoutMs) {
  if (!tlsStream_) {
    return true;
  }
  return !Run(
      [this](Completion done) {
        tlsStream_->async_handshake(
            boost::asio::ssl::stream_base::server,
            [done](const boost::system::error_code& error) { done(error, 0); });
      },
      timeoutMs);
}

boost::system::error_code FakeConnection::ReadExactly(std::span<uint8_t> buffer, int timeoutMs) {
  return Run(
      [this, buffer](Completion done) {
        const auto target = boost::asio::buffer(buffer.data(), buffer.size());
        if (tlsStream_) {
          boost::asio::async_read(*tlsStream_, target, done);
        } else {
          boost::asio::async_read(*socket_, target, done);
        }
      },
      timeoutMs);
}

std::optional<WireFrame> FakeConnection::ReadFrame(int timeoutMs) {
  std::vector<uint8_t> bytes(20);
  if (ReadExactly(bytes, timeoutMs)) {
    return std::nullopt;
  }
  const uint32_t bodyLength = Le32(bytes.data());
  if (bodyLength > kLargestBodyRead) {
    return std::nullopt;
  }
  bytes.resize(20 + size_t{bodyLength});
  if (ReadExactly(std::span<uint8_t>(bytes).subspan(20), timeoutMs)) {
    return std::nullopt;
  }
  return ParseFrame(bytes);
}

bool FakeConnection::Send(const WireFrame& frame, int timeoutMs) {
  return SendRaw(PackFrame(frame), timeoutMs);
}

bool FakeConnection::SendRaw(std::span<const uint8_t> bytes, int timeoutMs) {
  return !Run(
      [this, bytes](Completion done) {
        const auto source = boost::asio::buffer(bytes.data(), bytes.size());
        if (tlsStream_) {
          boost::asio::async_write(*tlsStream_, source, done);
        } else {
          boost::asio::async_write(*socket_, source, done);
        }
      },
      timeoutMs);
}

void FakeConnection::Close() {
  boost::system::error_code ignored;
  Socket().shutdown(boost::asio::ip::tcp::socket::shutdown_both, ignored);
  Socket().close(ignored);
}

bool FakeConnection::WaitForClose(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::vector<uint8_t> scratch(4096);
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      return false;
    }
    const boost::system::error_code error = Run(
        [this, &scratch](Completion done) {
          const auto target = boost::asio::buffer(scratch);
          if (tlsStream_) {
            tlsStream_->async_read_some(target, done);
          } else {
            socket_->async_read_some(target, done);
          }
        },
        static_cast<int>(left.count()));
    if (error == boost::asio::error::timed_out || error == boost::asio::error::operation_aborted) {
      return false;
    }
    if (error) {
      return true;
    }
  }
}

void FakeConnection::Sleep(int ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!stopping_ && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

FakeServer::FakeServer(Script script, FakeServerOptions options)
    : script_(std::move(script)),
      options_(std::move(options)),
      acceptor_(acceptIo_, boost::asio::ip::tcp::endpoint(
                               boost::asio::ip::make_address_v4(options_.address), 0)) {
  if (options_.tls) {
    tlsContext_ =
        std::make_unique<boost::asio::ssl::context>(boost::asio::ssl::context::tls_server);
    EXPECT_TRUE(UseSelfSignedCertificate(*tlsContext_, options_.certificateCommonName));
  }
  Accept();
  acceptThread_ = std::thread([this] { acceptIo_.run(); });
}

std::string FakeServer::certificatePin() const {
  return tlsContext_ != nullptr
             ? PublicKeySha256(SSL_CTX_get0_certificate(tlsContext_->native_handle()))
             : std::string();
}

FakeServer::~FakeServer() {
  stopping_ = true;
  boost::asio::post(acceptIo_, [this] {
    boost::system::error_code ignored;
    acceptor_.close(ignored);
  });
  acceptThread_.join();
  // No accept handler runs any more: the workers are ours alone. A script may restart its
  // io_context between two waits, so it is stopped until the script has returned.
  for (auto& worker : workers_) {
    while (worker->thread.joinable() && !worker->done) {
      worker->io.stop();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (worker->thread.joinable()) {
      worker->thread.join();
    }
  }
}

boost::asio::ip::tcp::endpoint FakeServer::endpoint() const {
  return acceptor_.local_endpoint();
}

bool FakeServer::WaitForConnections(size_t count, int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return accepted_ >= count; });
}

bool FakeServer::WaitForScripts(size_t count, int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return finished_ >= count; });
}

void FakeServer::Accept() {
  workers_.push_back(std::make_unique<Worker>());
  Worker* worker = workers_.back().get();
  acceptor_.async_accept(worker->io, [this, worker](const boost::system::error_code& error,
                                                    boost::asio::ip::tcp::socket socket) {
    if (error) {
      return;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++accepted_;
    }
    changed_.notify_all();
    worker->thread = std::thread([this, worker, accepted = std::move(socket)]() mutable {
      RunScript(*worker, std::move(accepted));
    });
    Accept();
  });
}

void FakeServer::RunScript(Worker& worker, boost::asio::ip::tcp::socket socket) {
  try {
    FakeConnection connection(worker.io, std::move(socket), tlsContext_.get(), stopping_);
    // A client that does not complete the handshake gets no script: the connection just ends.
    if (connection.Handshake()) {
      script_(connection);
    }
  } catch (const std::exception& exception) {
    ADD_FAILURE() << "fake server script: " << exception.what();
  }
  worker.done = true;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++finished_;
  }
  changed_.notify_all();
}

}  // namespace sondrel::test
