#include "protocol/frame_decoder.h"

#include <zlib.h>

#include <cstring>
#include <utility>

#include "protocol/byte_reader.h"

namespace sondrel {

FrameHeader ParseFrameHeader(std::span<const uint8_t, frame::kFrameHeaderSize> bytes) {
  const ByteReader reader(bytes);
  FrameHeader header;
  header.bodyLength = reader.U32At(frame::kBodyLength).value_or(0);
  header.commVersion = reader.U32At(frame::kCommVersionField).value_or(0);
  header.compressed = reader.U32At(frame::kCompressed).value_or(0);
  header.compressedLength = reader.U32At(frame::kCompressedLength).value_or(0);
  header.frameReserved = reader.U32At(frame::kFrameReserved).value_or(0);
  return header;
}

FrameProblem CheckFrameHeader(const FrameHeader& header, uint32_t maxBodyLength) {
  if (header.bodyLength == 0) {
    return FrameProblem::None;
  }
  if (header.bodyLength > maxBodyLength) {
    return FrameProblem::BodyTooLong;
  }
  if (header.bodyLength < frame::kBodyOverhead) {
    return FrameProblem::BodyTooShort;
  }
  if (header.compressed != 0 &&
      header.compressedLength > header.bodyLength - frame::kBodyOverhead) {
    return FrameProblem::CompressedLengthTooLong;
  }
  return FrameProblem::None;
}

const char* DescribeFrameProblem(FrameProblem problem) {
  switch (problem) {
    case FrameProblem::None:
      return "none";
    case FrameProblem::BodyTooLong:
      return "body longer than the largest frame accepted";
    case FrameProblem::BodyTooShort:
      return "body shorter than a message header and trailer";
    case FrameProblem::CompressedLengthTooLong:
      return "compressed length beyond the body";
  }
  return "unknown";
}

DecodedBody DecodeBody(const FrameHeader& header, CommMessagePtr body, uint32_t maxPayloadLength) {
  DecodedBody decoded;
  const size_t bodyLength = body->size();
  if (bodyLength < frame::kBodyOverhead) {
    decoded.refusal = DescribeFrameProblem(FrameProblem::BodyTooShort);
    return decoded;
  }
  if (header.compressed == 0) {
    decoded.status = BodyStatus::Delivered;
    decoded.record = std::move(body);
    return decoded;
  }

  if (header.compressedLength > bodyLength - frame::kBodyOverhead) {
    decoded.refusal = DescribeFrameProblem(FrameProblem::CompressedLengthTooLong);
    return decoded;
  }
  decoded.payloadLength = ByteReader(body->bytes()).U32At(frame::kPayloadLength).value_or(0);
  if (decoded.payloadLength > maxPayloadLength) {
    decoded.refusal = "announced payload longer than the largest accepted";
    return decoded;
  }
  CommMessagePtr record = CommMessage::Allocate(decoded.payloadLength + frame::kBodyOverhead);
  if (record == nullptr) {
    decoded.refusal = "no memory for the decompressed payload";
    return decoded;
  }
  // Only the message header is taken over: the payload and the trailer behind it are what
  // zlib produces followed by zeros, even when the stream expands to fewer bytes than announced.
  std::memcpy(record->data(), body->data(), frame::kMessageHeaderSize);
  uLongf outputLength = decoded.payloadLength;
  decoded.zlibCode = uncompress(record->data() + frame::kPayload, &outputLength,
                                body->data() + frame::kPayload, header.compressedLength);
  decoded.outputLength = outputLength;
  if (decoded.zlibCode != Z_OK) {
    decoded.status = BodyStatus::UncompressFailed;
    return decoded;
  }
  decoded.status = BodyStatus::Delivered;
  decoded.record = std::move(record);
  return decoded;
}

}  // namespace sondrel
