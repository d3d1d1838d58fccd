// Bounds on what a peer can make us read or allocate. No peer is trusted: every length it
// announces is checked against these before any memory is reserved for it.
#pragma once

#include <cstdint>

namespace sondrel {

// The largest frame body (message header, payload as sent, trailer) accepted from a peer. The
// largest messages either side sends in normal work are file pieces of about 1 MiB; 64 MiB leaves
// ample room for server requests that carry data while keeping what one hostile frame can make a
// session allocate within what a host process can spare.
inline constexpr uint32_t kMaxFrameBodyLength = 64u * 1024 * 1024;

// The largest payload a compressed frame may announce. A few bytes of zlib stream can claim any
// `payloadLength`; the decompression buffer is reserved only when the claim is within this bound.
inline constexpr uint32_t kMaxDecompressedPayloadLength = 64u * 1024 * 1024;

}  // namespace sondrel
