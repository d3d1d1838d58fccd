#include "server/connection.h"

#include <array>
#include <atomic>
#include <boost/asio/bind_executor.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/write.hpp>
#include <chrono>
#include <deque>
#include <type_traits>

#include "protocol/frame_decoder.h"
#include "protocol/message_builder.h"
#include "server/server_log.h"
#include "server/session_handler.h"

namespace sondrel::server {
namespace {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;
using TlsStream = asio::ssl::stream<tcp::socket>;

tcp::socket& Lowest(tcp::socket& socket) {
  return socket;
}
tcp::socket& Lowest(TlsStream& stream) {
  return stream.next_layer();
}

std::chrono::steady_clock::duration Seconds(double seconds) {
  return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      std::chrono::duration<double>(seconds));
}

std::string PeerOf(tcp::socket& socket) {
  boost::system::error_code error;
  const tcp::endpoint endpoint = socket.remote_endpoint(error);
  if (error) {
    return "unknown";
  }
  const std::string address = endpoint.address().to_string();
  return (endpoint.address().is_v6() ? "[" + address + "]" : address) + ":" +
         std::to_string(endpoint.port());
}

template <typename Stream>
class BasicConnection final : public Connection,
                              public std::enable_shared_from_this<BasicConnection<Stream>> {
 public:
  BasicConnection(Stream stream, ServerContext& context, ClosedListener onClosed)
      : stream_(std::move(stream)),
        strand_(asio::make_strand(Lowest(stream_).get_executor())),
        readTimer_(strand_),
        writeTimer_(strand_),
        context_(context),
        onClosed_(std::move(onClosed)),
        peer_(PeerOf(Lowest(stream_))) {}

  void Start() override {
    asio::post(strand_, [self = this->shared_from_this()] { self->Begin(); });
  }

  void Close(const std::string& reason) override {
    asio::post(strand_, [self = this->shared_from_this(), reason] { self->DoClose(reason); });
  }

  void AnnounceLoad() override {
    // Changes that come while a notice waits for the strand are told by that notice.
    if (noticePending_.exchange(true)) {
      return;
    }
    asio::post(strand_, [self = this->shared_from_this()] {
      self->noticePending_.store(false);
      if (!self->closed_ && self->session_ != nullptr) {
        self->session_->OnLoadChanged();
      }
    });
  }

  const std::string& peer() const override { return peer_; }

  void Send(const OutgoingHeader& header, std::span<const uint8_t> payload) override {
    CommMessagePtr message =
        BuildMessage(header, const_cast<uint8_t*>(payload.data()),
                     static_cast<uint32_t>(payload.size()), true, CompressionSettings{-1, 0});
    if (message == nullptr) {
      Close("no memory for a message");
      return;
    }
    asio::post(strand_, [self = this->shared_from_this(), message = std::move(message)] {
      self->Enqueue(message);
    });
  }

  void CloseAfterWrites() override {
    asio::post(strand_, [self = this->shared_from_this()] {
      self->closeAfterWrites_ = true;
      if (!self->writing_) {
        self->DoClose("closed after the answer");
      }
    });
  }

 private:
  void Begin() {
    context_.metrics.SessionOpened();
    session_ = std::make_shared<SessionHandler>(
        context_, std::weak_ptr<MessageSink>(this->shared_from_this()), peer_);
    SERVER_DEBUG("connection from " << peer_);
    if constexpr (std::is_same_v<Stream, TlsStream>) {
      ArmReadTimer(context_.options.frameTimeout, "a TLS handshake that does not finish");
      stream_.async_handshake(
          asio::ssl::stream_base::server,
          asio::bind_executor(
              strand_, [self = this->shared_from_this()](const boost::system::error_code& error) {
                if (self->closed_) {
                  return;
                }
                if (error) {
                  self->CloseForCause("TLS handshake: " + error.message());
                  return;
                }
                self->StartFrame();
              }));
    } else {
      StartFrame();
    }
  }

  void ArmReadTimer(double seconds, const char* reason) {
    const uint64_t generation = ++readTimerGeneration_;
    readTimer_.expires_after(Seconds(seconds));
    readTimer_.async_wait([self = this->shared_from_this(), generation,
                           reason](const boost::system::error_code& error) {
      if (!error && !self->closed_ && generation == self->readTimerGeneration_) {
        self->CloseForCause(reason);
      }
    });
  }

  void StartFrame() {
    headerFilled_ = 0;
    ArmReadTimer(context_.options.idleTimeout, "idle for too long");
    ReadHeader();
  }

  void ReadHeader() {
    stream_.async_read_some(
        asio::buffer(header_.data() + headerFilled_, header_.size() - headerFilled_),
        asio::bind_executor(strand_, [self = this->shared_from_this()](
                                         const boost::system::error_code& error, size_t read) {
          self->OnHeader(error, read);
        }));
  }

  void OnHeader(const boost::system::error_code& error, size_t read) {
    if (closed_) {
      return;
    }
    if (error) {
      DoClose(error == asio::error::eof ? "closed by the client" : "read: " + error.message());
      return;
    }
    if (headerFilled_ == 0 && read > 0) {
      ArmReadTimer(context_.options.frameTimeout, "a frame that does not arrive in time");
    }
    headerFilled_ += read;
    if (headerFilled_ < header_.size()) {
      ReadHeader();
      return;
    }
    frame_ = ParseFrameHeader(std::span<const uint8_t, frame::kFrameHeaderSize>(header_));
    if (frame_.commVersion != frame::kCommVersion) {
      CloseForCause("communication version " + std::to_string(frame_.commVersion));
      return;
    }
    const FrameProblem problem = CheckFrameHeader(frame_, context_.options.maxFrame);
    if (problem != FrameProblem::None) {
      CloseForCause(std::string("a frame with a ") + DescribeFrameProblem(problem));
      return;
    }
    if (frame_.bodyLength == 0) {
      StartFrame();
      return;
    }
    body_ = CommMessage::AllocateForRead(frame_.bodyLength);
    if (body_ == nullptr) {
      CloseForCause("no memory for a frame");
      return;
    }
    asio::async_read(stream_, asio::buffer(body_->data(), body_->size()),
                     asio::bind_executor(strand_, [self = this->shared_from_this()](
                                                      const boost::system::error_code& bodyError,
                                                      size_t) { self->OnBody(bodyError); }));
  }

  void OnBody(const boost::system::error_code& error) {
    if (closed_) {
      return;
    }
    if (error) {
      DoClose(error == asio::error::eof ? "closed by the client" : "read: " + error.message());
      return;
    }
    DecodedBody decoded = DecodeBody(frame_, std::move(body_), context_.options.maxFrame);
    if (decoded.status != BodyStatus::Delivered) {
      CloseForCause(decoded.status == BodyStatus::UncompressFailed
                        ? std::string("a payload that does not decompress")
                        : std::string("a frame with a ") + decoded.refusal);
      return;
    }
    if (session_->OnRecord(decoded.record) == SessionHandler::Verdict::Close) {
      CloseForCause("a message that does not hold together");
      return;
    }
    StartFrame();
  }

  void Enqueue(const CommMessagePtr& message) {
    if (closed_) {
      return;
    }
    if (queuedBytes_ + message->size() > context_.options.writeQueueBytes) {
      CloseForCause("the client does not read what it is sent");
      return;
    }
    queue_.push_back(message);
    queuedBytes_ += message->size();
    if (!writing_) {
      WriteNext();
    }
  }

  void WriteNext() {
    if (queue_.empty()) {
      writing_ = false;
      ++writeTimerGeneration_;
      if (closeAfterWrites_) {
        DoClose("closed after the answer");
      }
      return;
    }
    writing_ = true;
    const uint64_t generation = ++writeTimerGeneration_;
    writeTimer_.expires_after(Seconds(context_.options.frameTimeout));
    writeTimer_.async_wait(
        [self = this->shared_from_this(), generation](const boost::system::error_code& error) {
          if (!error && !self->closed_ && generation == self->writeTimerGeneration_) {
            self->CloseForCause("the client does not take what it is sent");
          }
        });
    const CommMessagePtr& next = queue_.front();
    asio::async_write(stream_, asio::buffer(next->data(), next->size()),
                      asio::bind_executor(strand_, [self = this->shared_from_this()](
                                                       const boost::system::error_code& error,
                                                       size_t) { self->OnWritten(error); }));
  }

  void OnWritten(const boost::system::error_code& error) {
    if (closed_) {
      return;
    }
    if (error) {
      DoClose("write: " + error.message());
      return;
    }
    queuedBytes_ -= queue_.front()->size();
    queue_.pop_front();
    WriteNext();
  }

  void CloseForCause(const std::string& reason) {
    if (!closed_) {
      context_.metrics.ConnectionRefused();
      SERVER_INFO("closing " << peer_ << ": " << reason);
    }
    DoClose(reason);
  }

  void DoClose(const std::string& reason) {
    if (closed_) {
      return;
    }
    closed_ = true;
    ++readTimerGeneration_;
    ++writeTimerGeneration_;
    readTimer_.cancel();
    writeTimer_.cancel();
    boost::system::error_code ignored;
    Lowest(stream_).shutdown(tcp::socket::shutdown_both, ignored);
    Lowest(stream_).close(ignored);
    queue_.clear();
    queuedBytes_ = 0;
    if (session_ != nullptr) {
      session_->OnClosed();
      context_.metrics.SessionClosed();
    }
    SERVER_DEBUG("closed " << peer_ << ": " << reason);
    if (onClosed_) {
      onClosed_(this);
    }
  }

  Stream stream_;
  asio::strand<asio::any_io_executor> strand_;
  asio::steady_timer readTimer_;
  asio::steady_timer writeTimer_;
  ServerContext& context_;
  const ClosedListener onClosed_;
  const std::string peer_;
  std::shared_ptr<SessionHandler> session_;

  std::array<uint8_t, frame::kFrameHeaderSize> header_{};
  size_t headerFilled_ = 0;
  FrameHeader frame_;
  CommMessagePtr body_;
  uint64_t readTimerGeneration_ = 0;

  std::deque<CommMessagePtr> queue_;
  size_t queuedBytes_ = 0;
  bool writing_ = false;
  bool closeAfterWrites_ = false;
  uint64_t writeTimerGeneration_ = 0;
  bool closed_ = false;
  std::atomic<bool> noticePending_{false};
};

}  // namespace

std::shared_ptr<Connection> MakePlainConnection(tcp::socket socket, ServerContext& context,
                                                Connection::ClosedListener onClosed) {
  return std::make_shared<BasicConnection<tcp::socket>>(std::move(socket), context,
                                                        std::move(onClosed));
}

std::shared_ptr<Connection> MakeTlsConnection(tcp::socket socket, asio::ssl::context& tls,
                                              ServerContext& context,
                                              Connection::ClosedListener onClosed) {
  return std::make_shared<BasicConnection<TlsStream>>(TlsStream(std::move(socket), tls), context,
                                                      std::move(onClosed));
}

}  // namespace sondrel::server
