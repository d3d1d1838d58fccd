#include "comm/comm_socket_base.h"

#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <boost/asio/bind_executor.hpp>
#include <boost/asio/error.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/ssl/error.hpp>
#include <boost/asio/write.hpp>
#include <cstring>
#include <exception>
#include <string>
#include <utility>

#include "logging/log.h"

namespace sondrel {
namespace {

// The text a certificate subject must contain for its certificate problems to go unlogged.
constexpr const char* kTrustedSubjectText = "Quorvex";

}  // namespace

CommSocketBase::CommSocketBase(boost::asio::io_context& ioService, std::string_view loggerCategory)
    : logger_(GetLogger(loggerCategory)),
      strand_(boost::asio::make_strand(ioService)),
      socket_(ioService),
      ioService_(&ioService) {}

CommSocketBase::~CommSocketBase() {
  tlsStream_.reset();
  boost::system::error_code ignored;
  socket_.close(ignored);
}

void CommSocketBase::close() {
  do_close();
}

void CommSocketBase::do_write() {
  std::lock_guard<std::recursive_mutex> lock(writeMutex_);
  if (writeQueue_.empty()) {
    return;
  }
  const CommMessage& front = *writeQueue_.front();
  const auto buffer = boost::asio::buffer(front.data(), front.size());
  auto handler = [self = shared_from_this()](const boost::system::error_code& error, size_t) {
    self->handle_write(error);
  };
  if (useTls_) {
    boost::asio::async_write(*tlsStream_, buffer,
                             boost::asio::bind_executor(strand_, std::move(handler)));
  } else {
    boost::asio::async_write(socket_, buffer, std::move(handler));
  }
}

void CommSocketBase::on_read_error(const boost::system::error_code&) {}

void CommSocketBase::on_write_error(const boost::system::error_code&) {}

void CommSocketBase::log_traffic() {
  LOG_INFO(logger_, "TRAFFIC: Sent - " << bytesSent() << ", Received - " << bytesReceived() << " "
                                       << address());
}

void CommSocketBase::do_read_header() {
  incomingBytes_.fill(0);
  incomingHeader_ = FrameHeader{};
  auto handler = [self = shared_from_this()](const boost::system::error_code& error, size_t) {
    self->handle_read_header(error);
  };
  if (useTls_) {
    boost::asio::async_read(*tlsStream_, boost::asio::buffer(incomingBytes_),
                            boost::asio::bind_executor(strand_, std::move(handler)));
  } else {
    boost::asio::async_read(socket_, boost::asio::buffer(incomingBytes_), std::move(handler));
  }
}

void CommSocketBase::do_read_body() {
  // The header check has bounded bodyLength, so this allocation is bounded too.
  CommMessagePtr body = CommMessage::AllocateForRead(incomingHeader_.bodyLength);
  if (body == nullptr) {
    LOG_ERROR(logger_, "do_read_body - no memory for a body of "
                           << incomingHeader_.bodyLength << " bytes. Client will be disconnected. "
                           << address());
    end_read_loop(boost::asio::error::no_memory);
    return;
  }
  const auto buffer = boost::asio::buffer(body->data(), body->size());
  auto handler = [self = shared_from_this(), body](const boost::system::error_code& error,
                                                   size_t bytes) {
    self->handle_read_body(error, bytes, body);
  };
  if (useTls_) {
    boost::asio::async_read(*tlsStream_, buffer,
                            boost::asio::bind_executor(strand_, std::move(handler)));
  } else {
    boost::asio::async_read(socket_, buffer, std::move(handler));
  }
}

int CommSocketBase::write_message(CommMessagePtr message) {
  if (syncMode()) {
    return write_now(message);
  }
  // Once the connection is shut nothing can be written any more; a queued write would hold this
  // object in a handler that no thread may ever run.
  if (closed()) {
    return boost::asio::error::not_connected;
  }
  std::lock_guard<std::recursive_mutex> lock(writeMutex_);
  const bool writing = !writeQueue_.empty();
  writeQueue_.push_back(std::move(message));
  if (!writing) {
    if (useTls_) {
      boost::asio::post(strand_, [self = shared_from_this()] { self->do_write(); });
    } else {
      do_write();
    }
  }
  return 0;
}

int CommSocketBase::write_now(const CommMessagePtr& message) {
  const auto buffer = boost::asio::buffer(message->data(), message->size());
  boost::system::error_code error;
  const size_t written = useTls_ ? boost::asio::write(*tlsStream_, buffer, error)
                                 : boost::asio::write(socket_, buffer, error);
  if (error) {
    LOG_DEBUG(logger_, "Error writing to the socket " << error.value() << " " << error.message()
                                                      << " " << address());
    return error.value();
  }
  if (written < message->size()) {
    LOG_ERROR(logger_, "Nu s-a putut scrie in socket toata memoria "
                           << written << " " << message->size() << " " << address());
  }
  return 0;
}

int CommSocketBase::Receive(CommMessagePtr& message) {
  message.reset();
  const auto readExactly = [this](boost::asio::mutable_buffer buffer,
                                  boost::system::error_code& error) {
    return useTls_ ? boost::asio::read(*tlsStream_, buffer, error)
                   : boost::asio::read(socket_, buffer, error);
  };
  const auto failed = [this](const std::string& text) {
    LOG_INFO(logger_, address() << " Error Receiving message " << text);
    return kReceiveFailed;
  };
  try {
    boost::system::error_code error;
    FrameHeader header;
    do {
      std::array<uint8_t, frame::kFrameHeaderSize> headerBytes{};
      readExactly(boost::asio::buffer(headerBytes), error);
      if (error) {
        return failed(error.message());
      }
      header = ParseFrameHeader(headerBytes);
      if (header.commVersion != frame::kCommVersion) {
        LOG_ERROR(logger_, address() << " Receive - different communication versions!!! "
                                     << header.commVersion << " vs " << frame::kCommVersion
                                     << " Client will be disconnected.");
        return kReceiveBadFrame;
      }
      const FrameProblem problem = CheckFrameHeader(header);
      if (problem != FrameProblem::None) {
        LOG_ERROR(logger_, address()
                               << " Receive - frame refused: " << DescribeFrameProblem(problem)
                               << ", bodyLength " << header.bodyLength << ", compressedLength "
                               << header.compressedLength << ". Client will be disconnected.");
        return kReceiveBadFrame;
      }
    } while (header.bodyLength == 0);

    CommMessagePtr body = CommMessage::AllocateForRead(header.bodyLength);
    if (body == nullptr) {
      return failed("no memory for the body");
    }
    const size_t bytes = readExactly(boost::asio::buffer(body->data(), body->size()), error);
    if (error) {
      // A body cut short is never delivered: the stream is broken and the record incomplete.
      LOG_ERROR(logger_, address() << " Receive read less than expected " << bytes << " vs "
                                   << header.bodyLength);
      return failed(error.message());
    }

    DecodedBody decoded = DecodeBody(header, std::move(body));
    if (decoded.status == BodyStatus::UncompressFailed) {
      LOG_ERROR(logger_, address() << " Receive - failed to uncompress " << decoded.zlibCode);
      return kReceiveBadPayload;
    }
    if (decoded.status == BodyStatus::Refused) {
      LOG_ERROR(logger_, address() << " Receive - refused message: " << decoded.refusal
                                   << ", payloadLength " << decoded.payloadLength);
      return kReceiveBadPayload;
    }
    if (header.compressed != 0 && decoded.ShortOutput()) {
      LOG_ERROR(logger_, address() << " uncompressed len unexpected " << decoded.outputLength
                                   << " vs " << decoded.payloadLength);
    }
    message = std::move(decoded.record);
    return 0;
  } catch (const std::exception& exception) {
    message.reset();
    return failed(exception.what());
  }
}

void CommSocketBase::attach_tls(bool enable, boost::asio::ssl::context* context) {
  if (!enable) {
    tlsStream_.reset();
    useTls_ = false;
    return;
  }
  if (context == nullptr) {
    return;
  }
  tlsStream_ = std::make_unique<TlsStream>(socket_, *context);
  tlsStream_->set_verify_mode(boost::asio::ssl::verify_none);
  tlsStream_->set_verify_callback(
      [this](bool preverified, boost::asio::ssl::verify_context& verifyContext) {
        return verify_certificate(preverified, verifyContext);
      });
  useTls_ = true;
  tlsContext_ = context;
}

void CommSocketBase::do_close() {
  if (closed_.exchange(true)) {
    LOG_DEBUG(logger_, "Not calling again do_close()");
    return;
  }
  // No write may be started on the socket while it is being shut down.
  std::lock_guard<std::recursive_mutex> lock(writeMutex_);
  const auto logFailure = [this](const boost::system::error_code& error) {
    LOG_DEBUG(logger_, "Exception on do_close. " << error.message() << " " << address());
  };
  const auto closeSocket = [this, &logFailure] {
    boost::system::error_code error;
    socket_.shutdown(boost::asio::ip::tcp::socket::shutdown_both, error);
    if (error) {
      logFailure(error);
    }
    socket_.close(error);
    if (error) {
      logFailure(error);
    }
  };
  if (tlsStream_ != nullptr && socket_.is_open()) {
    // Our close_notify goes out, but the server's is not waited for: a server that never answers
    // must not hold the I/O thread. Non-blocking, the shutdown ends with would_block instead.
    boost::system::error_code error;
    socket_.non_blocking(true, error);
    tlsStream_->shutdown(error);
    if (error && error != boost::asio::error::would_block) {
      logFailure(error);
    }
    closeSocket();
  }
  if (socket_.is_open()) {
    closeSocket();
  }
}

void CommSocketBase::handle_write(const boost::system::error_code& error) {
  {
    std::lock_guard<std::recursive_mutex> lock(writeMutex_);
    if (!writeQueue_.empty()) {
      const size_t length = writeQueue_.front()->size();
      writeQueue_.pop_front();
      if (!error) {
        bytesSent_.fetch_add(length, std::memory_order_relaxed);
      }
      if (!writeQueue_.empty()) {
        do_write();
      }
    }
  }
  if (error) {
    LOG_ERROR(logger_, "handle_write - error ");
    on_write_error(error);
  }
}

void CommSocketBase::handle_read_header(const boost::system::error_code& error) {
  if (error) {
    LOG_INFO(logger_, "handle_read_header - message: " << error.message());
    end_read_loop(error);
    return;
  }
  incomingHeader_ = ParseFrameHeader(incomingBytes_);
  if (incomingHeader_.commVersion != frame::kCommVersion) {
    LOG_INFO(logger_, "handle_read_header - different communication versions!!! "
                          << incomingHeader_.commVersion << " vs " << frame::kCommVersion
                          << " Client will be disconnected. " << address());
    end_read_loop({});
    return;
  }
  bytesReceived_.fetch_add(frame::kFrameHeaderSize, std::memory_order_relaxed);
  const FrameProblem problem = CheckFrameHeader(incomingHeader_);
  if (problem != FrameProblem::None) {
    LOG_INFO(logger_, "handle_read_header - frame refused: "
                          << DescribeFrameProblem(problem) << ", bodyLength "
                          << incomingHeader_.bodyLength << ", compressedLength "
                          << incomingHeader_.compressedLength << ". Client will be disconnected. "
                          << address());
    end_read_loop({});
    return;
  }
  if (incomingHeader_.bodyLength != 0) {
    do_read_body();
  } else {
    do_read_header();
  }
}

void CommSocketBase::handle_read_body(const boost::system::error_code& error, size_t bytes,
                                      const CommMessagePtr& body) {
  if (error) {
    LOG_ERROR(logger_, "handle_read_body - error ");
    end_read_loop(error);
    return;
  }
  bytesReceived_.fetch_add(bytes, std::memory_order_relaxed);
  const FrameHeader header = incomingHeader_;
  DecodedBody decoded = DecodeBody(header, body);
  if (decoded.status == BodyStatus::UncompressFailed) {
    LOG_ERROR(logger_, "handle_read_body - fail to uncompress message!!! len="
                           << decoded.outputLength << " must be " << decoded.payloadLength
                           << " compressed len " << header.compressedLength << " " << address());
    end_read_loop({});
    return;
  }
  if (decoded.status == BodyStatus::Refused) {
    LOG_ERROR(logger_, "handle_read_body - refused message: "
                           << decoded.refusal << ", payloadLength " << decoded.payloadLength
                           << ". Client will be disconnected. " << address());
    end_read_loop({});
    return;
  }
  if (header.compressed != 0 && decoded.ShortOutput()) {
    LOG_ERROR(logger_, "decompressed len != expected len " << decoded.outputLength << " "
                                                           << decoded.payloadLength << " "
                                                           << address());
  }
  // The next header is already being read while this message is processed.
  do_read_header();
  process_message(std::move(decoded.record));
}

void CommSocketBase::end_read_loop(const boost::system::error_code& error) {
  close();
  on_read_error(error);
}

bool CommSocketBase::verify_certificate(bool preverified,
                                        boost::asio::ssl::verify_context& context) {
  X509_STORE_CTX* store = context.native_handle();
  std::array<char, 256> subject{};
  if (X509* certificate = X509_STORE_CTX_get_current_cert(store); certificate != nullptr) {
    X509_NAME_oneline(X509_get_subject_name(certificate), subject.data(),
                      static_cast<int>(subject.size()));
  }
  const int error = X509_STORE_CTX_get_error(store);
  if (error != 0 && std::strstr(subject.data(), kTrustedSubjectText) == nullptr) {
    LOG_WARN(logger_, "SLL verify certificate: " << X509_verify_cert_error_string(error));
  }
  return preverified;
}

}  // namespace sondrel
