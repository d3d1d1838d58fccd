// Message memory. Payload buffers with headroom: the payload is prepared directly where it will
// sit inside a message, so that send_message can adopt the buffer and write the headers in front
// of it instead of copying the payload.
//
// Blocks the size of a file piece (1 MiB of data with its descriptor and headers) are recycled: a
// released one is kept for the next request of that size, up to a few, so that moving a file does
// not cost a fresh mapping and a page fault per 4 KiB for every mebibyte on either side.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sondrel {

// A zeroed buffer of length + 68 bytes with `payloadLength` (offset 48) set to length; returns the
// address of its payload (offset 64), or null when the memory is not available.
uint8_t* AllocPayload(uint32_t length);
// As AllocPayload, but only the 64 bytes of headers are zeroed: for a payload whose every byte
// the caller writes before it is sent, such as a file piece that is read into it. The message
// built from it sends only the length it is given, never the bytes beyond.
uint8_t* AllocPayloadForFill(uint32_t length);
// Frees a buffer given the payload address that AllocPayload returned; null is ignored.
void FreePayload(uint8_t* payload);

// The start of the buffer whose payload address AllocPayload returned.
uint8_t* PayloadBlock(uint8_t* payload);

enum class BlockFill {
  Zeroed,
  // Left as it is: the caller overwrites every byte before it is read.
  Unset,
};

// A block of `size` bytes from the C heap or, for sizes that are recycled, from the blocks
// released before; null when the memory is not available. Every block, also one from plain
// malloc or calloc, is released with ReleaseBlock.
uint8_t* AllocateBlock(size_t size, BlockFill fill);
void ReleaseBlock(uint8_t* block);

// Sizes above this and up to kRecycledBlockSize are served by recycled blocks of that size.
inline constexpr size_t kSmallestRecycledBlock = 64 * 1024;
// One file piece of 1 MiB with its 28-byte descriptor and the 68 bytes of a frame, rounded up.
inline constexpr size_t kRecycledBlockSize = 1024 * 1024 + 4096;
// The most released blocks kept for reuse; beyond them released blocks go back to the heap.
inline constexpr size_t kMostKeptBlocks = 8;

// Released blocks kept at the moment, for tests and benchmarks.
size_t KeptBlocks();

}  // namespace sondrel
