// The receive side of the wire format, as functions over bytes: the socket reads a frame header,
// asks whether its body may be read, reads the body and hands it here to be turned into a
// received record. Nothing here trusts a length from the peer: each one is checked against
// the bounds of wire_limits.h and against the bytes actually received before it is used.
#pragma once

#include <cstdint>
#include <span>

#include "protocol/comm_message.h"
#include "protocol/frame_layout.h"
#include "protocol/wire_limits.h"

namespace sondrel {

struct FrameHeader {
  uint32_t bodyLength = 0;
  uint32_t commVersion = 0;
  uint32_t compressed = 0;
  uint32_t compressedLength = 0;
  uint32_t frameReserved = 0;
};

FrameHeader ParseFrameHeader(std::span<const uint8_t, frame::kFrameHeaderSize> bytes);

// Why a frame with the right communication version is refused before its body is read.
enum class FrameProblem {
  None,
  BodyTooLong,              // above the largest body accepted
  BodyTooShort,             // not zero, but shorter than a message header and trailer
  CompressedLengthTooLong,  // the zlib stream would not fit between header and trailer
};

// A `bodyLength` of 0 is no problem: such a frame has no body and delivers nothing. A receiver
// that expects only smaller frames may lower the largest body it accepts.
FrameProblem CheckFrameHeader(const FrameHeader& header,
                              uint32_t maxBodyLength = kMaxFrameBodyLength);
const char* DescribeFrameProblem(FrameProblem problem);

enum class BodyStatus {
  Delivered,
  // The body announces more than we accept or cannot be decoded as framed; see `refusal`.
  Refused,
  // zlib could not decompress the stream; see `zlibCode` and `outputLength`.
  UncompressFailed,
};

struct DecodedBody {
  BodyStatus status = BodyStatus::Refused;
  // The received record (message header, payload, 4 zero bytes) when delivered.
  CommMessagePtr record;
  const char* refusal = "";
  // For compressed frames: the announced payload length, the bytes zlib produced and its result.
  uint32_t payloadLength = 0;
  uint64_t outputLength = 0;
  int zlibCode = 0;

  // A compressed payload that expanded to fewer bytes than announced; the record is delivered
  // with the missing tail left zero.
  bool ShortOutput() const { return outputLength != payloadLength; }
};

// Turns a received body (exactly `bodyLength` bytes) into a record. An uncompressed body is the
// record itself and is returned without a copy; a compressed one is decompressed into a new
// record of `payloadLength` + 48 bytes, provided that is at most `maxPayloadLength`.
DecodedBody DecodeBody(const FrameHeader& header, CommMessagePtr body,
                       uint32_t maxPayloadLength = kMaxDecompressedPayloadLength);

}  // namespace sondrel
