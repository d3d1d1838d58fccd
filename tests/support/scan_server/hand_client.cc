#include "support/scan_server/hand_client.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <chrono>
#include <functional>

namespace sondrel::test {
namespace {

namespace asio = boost::asio;

void Put16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    out.push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
}

void Put64(std::vector<uint8_t>& out, uint64_t value) {
  Put32(out, static_cast<uint32_t>(value));
  Put32(out, static_cast<uint32_t>(value >> 32));
}

uint32_t Get32(std::span<const uint8_t> bytes, size_t offset) {
  return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
         static_cast<uint32_t>(bytes[offset + 2]) << 16 |
         static_cast<uint32_t>(bytes[offset + 3]) << 24;
}

void Append(std::vector<uint8_t>& out, std::span<const uint8_t> bytes) {
  out.insert(out.end(), bytes.begin(), bytes.end());
}

// Runs one asynchronous operation to completion or time-out (then the socket is closed).
boost::system::error_code RunFor(
    asio::io_context& io, asio::ip::tcp::socket& socket, int timeoutMs,
    const std::function<void(std::function<void(const boost::system::error_code&)>)>& start) {
  boost::system::error_code result = asio::error::timed_out;
  bool done = false;
  io.restart();
  start([&](const boost::system::error_code& error) {
    result = error;
    done = true;
  });
  io.run_for(std::chrono::milliseconds(timeoutMs));
  if (!done) {
    boost::system::error_code ignored;
    socket.close(ignored);
    io.restart();
    io.run();
    return asio::error::timed_out;
  }
  return result;
}

}  // namespace

HandClient::HandClient() : socket_(io_) {}

bool HandClient::Connect(uint16_t port, const std::string& host, int timeoutMs) {
  const asio::ip::tcp::endpoint endpoint(asio::ip::make_address(host), port);
  return !RunFor(io_, socket_, timeoutMs, [&](auto done) {
    socket_.async_connect(endpoint,
                          [done](const boost::system::error_code& error) { done(error); });
  });
}

bool HandClient::SendRaw(std::span<const uint8_t> bytes, int timeoutMs) {
  return !RunFor(io_, socket_, timeoutMs, [&](auto done) {
    asio::async_write(socket_, asio::buffer(bytes.data(), bytes.size()),
                      [done](const boost::system::error_code& error, size_t) { done(error); });
  });
}

bool HandClient::Send(const WireFrame& frame, int timeoutMs) {
  const std::vector<uint8_t> bytes = PackFrame(frame);
  return SendRaw(bytes, timeoutMs);
}

bool HandClient::ReadExactly(std::span<uint8_t> buffer, int timeoutMs) {
  return !RunFor(io_, socket_, timeoutMs, [&](auto done) {
    asio::async_read(socket_, asio::buffer(buffer.data(), buffer.size()),
                     [done](const boost::system::error_code& error, size_t) { done(error); });
  });
}

std::optional<WireFrame> HandClient::ReadFrame(int timeoutMs) {
  std::vector<uint8_t> bytes(20);
  if (!socket_.is_open() || !ReadExactly(bytes, timeoutMs)) {
    return std::nullopt;
  }
  const uint32_t bodyLength = Get32(bytes, 0);
  if (bodyLength < 48 || bodyLength > (64u << 20)) {
    return std::nullopt;
  }
  bytes.resize(20 + bodyLength);
  if (!ReadExactly(std::span<uint8_t>(bytes).subspan(20), timeoutMs)) {
    return std::nullopt;
  }
  return ParseFrame(bytes);
}

std::optional<WireFrame> HandClient::ReadFrameOfType(uint32_t type, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      return std::nullopt;
    }
    std::optional<WireFrame> frame = ReadFrame(static_cast<int>(left.count()));
    if (!frame || frame->messageType == type) {
      return frame;
    }
  }
}

bool HandClient::WaitClosed(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::vector<uint8_t> sink(65536);
  while (socket_.is_open()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      return false;
    }
    const boost::system::error_code error =
        RunFor(io_, socket_, static_cast<int>(left.count()), [&](auto done) {
          socket_.async_read_some(
              asio::buffer(sink),
              [done](const boost::system::error_code& readError, size_t) { done(readError); });
        });
    if (error == asio::error::timed_out) {
      return false;
    }
    if (error) {
      return true;
    }
  }
  return true;
}

void HandClient::Close() {
  boost::system::error_code ignored;
  socket_.close(ignored);
}

std::vector<uint8_t> HelloPayload(uint16_t major, uint16_t minor, const std::string& engine,
                                  std::optional<uint64_t> timestamp) {
  std::vector<uint8_t> payload;
  Put16(payload, major);
  Put16(payload, minor);
  payload.resize(292, 0);
  for (size_t i = 0; i < engine.size() && i < 31; ++i) {
    payload[5 + i] = static_cast<uint8_t>(engine[i]);
  }
  if (timestamp) {
    Put64(payload, *timestamp);
  }
  return payload;
}

std::vector<uint8_t> ScanRequestPayload(const HandScanRequest& fields) {
  std::vector<uint8_t> name(fields.name.begin(), fields.name.end());
  name.push_back(0);
  std::vector<uint8_t> text(fields.text.begin(), fields.text.end());
  if (!text.empty()) {
    text.push_back(0);
  }
  std::vector<uint8_t> out;
  Put32(out, static_cast<uint32_t>(fields.action));
  Put64(out, fields.fileSize);
  Put32(out, fields.extraLength.value_or(0));
  Put64(out, 0);  // extra address
  out.push_back(fields.fingerprintValid ? 1 : 0);
  Append(out, fields.fingerprint);
  out.push_back(fields.cacheUsable ? 1 : 0);
  out.push_back(0);  // reserved
  Put32(out, 0);     // process information
  out.push_back(0);  // clean traces
  Put32(out, fields.nameLength.value_or(static_cast<uint32_t>(name.size())));
  Put64(out, 0x1000);  // name address: ignored by the receiver
  out.push_back(fields.strongFingerprint ? 1 : 0);
  Append(out, name);
  const auto initialLength = static_cast<uint32_t>(fields.initialBuffer.size());
  Put64(out, 0);
  Put32(out, initialLength);
  Put64(out, initialLength != 0 ? 0x2000 : 0);
  Put32(out, fields.initialLength.value_or(initialLength));
  Put32(out, 0);
  Append(out, fields.initialBuffer);
  for (const uint32_t word : {0u, 0u, 0u, 0u, 16u, 40u, 0xFFFFFFFFu, 0u, 0u, 0u, 0u}) {
    Put32(out, word);
  }
  Put32(out, fields.optionCount.value_or(static_cast<uint32_t>(fields.options.size() / 16)));
  Append(out, fields.options);
  Put32(out, fields.textLength.value_or(static_cast<uint32_t>(text.size())));
  Append(out, text);
  Put32(out, fields.profileValue);
  Append(out, fields.trailing);
  return out;
}

WireFrame ScanRequestFrame(const HandScanRequest& fields, int32_t channel, uint32_t seq,
                           int32_t timeoutMs) {
  WireFrame frame = PlainFrame(100, 0, ScanRequestPayload(fields));
  frame.channelIndex = channel;
  frame.requestSeq = seq;
  frame.sendCount = 1;
  frame.answerTimeoutMs = timeoutMs;
  return frame;
}

std::vector<uint8_t> ReadAnswerPayload(uint64_t offset, uint32_t requestedCount,
                                       std::span<const uint8_t> data, int32_t status,
                                       std::optional<uint32_t> dataLengthField) {
  std::vector<uint8_t> out;
  Put64(out, offset);
  Put32(out, requestedCount);
  Put64(out, data.empty() ? 0 : 0x3000);
  Put32(out, dataLengthField.value_or(static_cast<uint32_t>(data.size())));
  Put32(out, static_cast<uint32_t>(status));
  Append(out, data);
  return out;
}

WireFrame ReadAnswerFrame(const WireFrame& request, uint32_t kind, std::vector<uint8_t> payload) {
  WireFrame frame = PlainFrame(102, kind, std::move(payload));
  frame.requestSeq = request.requestSeq;
  frame.channelIndex = request.channelIndex;
  frame.conversationId = request.conversationId;
  frame.answerTimeoutMs = -1;
  return frame;
}

ReadRange RangeOf(const WireFrame& readRequest) {
  const std::vector<uint8_t>& p = readRequest.payload;
  if (p.size() < 28) {
    return {};
  }
  return {static_cast<uint64_t>(Get32(p, 0)) | static_cast<uint64_t>(Get32(p, 4)) << 32,
          Get32(p, 8)};
}

std::optional<int32_t> FinalStatusOf(const WireFrame& finalAnswer) {
  const std::optional<uint32_t> word = FirstWordOf(finalAnswer);
  return word ? std::optional<int32_t>(static_cast<int32_t>(*word)) : std::nullopt;
}

std::optional<uint32_t> FirstWordOf(const WireFrame& frame) {
  if (frame.payload.size() < 4) {
    return std::nullopt;
  }
  return Get32(frame.payload, 0);
}

}  // namespace sondrel::test
