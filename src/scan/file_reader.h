// The fingerprint's view of the file: the host's GetSize and Read, and the 64 KiB buffer that
// keeps the start of the file for the request's initial buffer.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "sondrel/sondrel.h"

namespace sondrel {

struct FileReader {
  static constexpr uint32_t kBufferSize = 65536;

  // The file's size, or nothing when the host has no GetSize or it fails.
  std::optional<uint64_t> GetSize() const;
  // Reads {offset, count} into the buffer at position. Succeeds with the bytes delivered when
  // the host returns 0 and delivers between 1 and count bytes; a host that reports more bytes
  // than asked for has failed. The range must fit the buffer.
  std::optional<uint32_t> Read(uint64_t offset, uint32_t count, uint32_t position);

  const HostCallbacks* callbacks = nullptr;
  std::array<uint8_t, kBufferSize> buffer{};
  int32_t cacheTreshold = 0;
  // How many bytes at the start of the buffer are the start of the file.
  uint32_t bytesBuffered = 0;
  bool hashNonPE = false;
  bool hashSmallNonPE = true;
};

}  // namespace sondrel
