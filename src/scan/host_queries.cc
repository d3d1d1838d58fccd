#include "scan/host_queries.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "protocol/little_endian.h"

namespace sondrel {
namespace {

constexpr int32_t kNotOffered = -1;
// The property records the host fills: the kind of buffer offered.
constexpr int32_t kPropertyBufferKind = 2;
constexpr uint32_t kProfileFirstWord = 3;
// The text property: up to 256 characters, in a buffer one byte larger that keeps a NUL.
constexpr uint32_t kTextOffered = 256;
constexpr size_t kOptionEntrySize = 16;

uint64_t AddressOf(const void* data) {
  return reinterpret_cast<uintptr_t>(data);
}

int32_t GetProperty(const HostCallbacks& callbacks, int32_t id, void* buffer, uint32_t size) {
  if (callbacks.getProperty == nullptr) {
    return kNotOffered;
  }
  HostPropertyBuffer property{AddressOf(buffer), size, 0};
  return callbacks.getProperty(id, &property, kPropertyBufferKind, callbacks.user);
}

}  // namespace

int32_t HostGetSize(const HostCallbacks& callbacks, uint64_t& size) {
  uint32_t low = 0;
  uint32_t high = 0;
  const int32_t result =
      callbacks.getSize != nullptr ? callbacks.getSize(&low, &high, callbacks.user) : kNotOffered;
  size = (static_cast<uint64_t>(high) << 32) | low;
  return result;
}

int32_t HostProcessInfo(const HostCallbacks& callbacks, int32_t& value) {
  value = 0;
  if (callbacks.getProcInfo == nullptr) {
    return kNotOffered;
  }
  return callbacks.getProcInfo(&value, callbacks.user);
}

int32_t HostQuery(const HostCallbacks& callbacks, int32_t code) {
  int32_t answer = 0;
  if (callbacks.query != nullptr) {
    callbacks.query(code, &answer, callbacks.user);
  }
  return answer;
}

std::optional<std::array<uint8_t, 44>> HostProfileRecord(const HostCallbacks& callbacks) {
  std::array<uint8_t, 44> record{};
  StoreLittleEndian(record.data(), kProfileFirstWord);
  if (GetProperty(callbacks, SONDREL_PROPERTY_PROFILE, record.data(), record.size()) != 0) {
    return std::nullopt;
  }
  return record;
}

std::vector<uint8_t> HostText(const HostCallbacks& callbacks) {
  std::vector<uint8_t> text(kTextOffered + 1, 0);
  if (GetProperty(callbacks, SONDREL_PROPERTY_TEXT, text.data(), kTextOffered) != 0 ||
      text[0] == 0) {
    return {};
  }
  text.resize(std::strlen(reinterpret_cast<const char*>(text.data())) + 1);
  return text;
}

std::optional<HostOptions> HostGetOptions(const HostCallbacks& callbacks) {
  if (callbacks.getOptions == nullptr) {
    return std::nullopt;
  }
  HostOptionList list{};
  if (callbacks.getOptions(&list, callbacks.user) != 0) {
    return std::nullopt;
  }
  // The entries are as many as fit in the size the host asked for, whatever the second call
  // reports.
  HostOptions options;
  std::vector<uint8_t> buffer;
  try {
    buffer.resize(list.byteSize);
    options.entries.resize(list.byteSize / kOptionEntrySize * kOptionEntrySize);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  list.entries = buffer.data();
  if (callbacks.getOptions(&list, callbacks.user) != 0) {
    return std::nullopt;
  }
  std::copy_n(buffer.begin(), options.entries.size(), options.entries.begin());
  options.wordA = list.wordA;
  options.wordB = list.wordB;
  return options;
}

void HostRelease(const HostCallbacks& callbacks) {
  if (callbacks.release != nullptr) {
    callbacks.release(nullptr, 0, callbacks.user);
  }
}

}  // namespace sondrel
