#include "scan/scan_request.h"

#include <zlib.h>

#include <cstring>
#include <limits>

#include "comm/little_endian.h"

namespace sondrel {
namespace {

// The packed header and the fixed parts that follow the variable items.
constexpr size_t kHeaderSize = 61;
constexpr size_t kDescriptorSize = 28;
constexpr size_t kResultBlockSize = 44;
constexpr size_t kFixedSize = kHeaderSize + kDescriptorSize + kResultBlockSize + 4 + 4 + 4;

// Header offsets.
constexpr size_t kAction = 0;
constexpr size_t kFileSize = 4;
constexpr size_t kFingerprintValid = 24;
constexpr size_t kFingerprint = 25;
constexpr size_t kCacheUsable = 41;
constexpr size_t kProcessInfo = 43;
constexpr size_t kCleanTraces = 47;
constexpr size_t kNameLength = 48;
constexpr size_t kNameAddress = 52;
constexpr size_t kStrongFingerprint = 60;

uint64_t AddressOf(const void* data) {
  // Addresses are sign-extended to 64 bits, as a 32-bit process would send them.
  return static_cast<uint64_t>(reinterpret_cast<intptr_t>(data));
}

// Whole 16-byte entries only.
std::span<const uint8_t> OptionBytes(const ScanRequestFields& fields) {
  return fields.optionEntries.first(fields.optionEntries.size() / 16 * 16);
}

uint32_t NameLength(const ScanRequestFields& fields) {
  return fields.name != nullptr ? fields.nameLength : 0;
}

uint8_t* Put(uint8_t* at, std::span<const uint8_t> bytes) {
  if (!bytes.empty()) {
    std::memcpy(at, bytes.data(), bytes.size());
  }
  return at + bytes.size();
}

}  // namespace

std::optional<uint32_t> ScanRequestLength(const ScanRequestFields& fields) {
  const uint64_t length = uint64_t{kFixedSize} + NameLength(fields) + fields.initialBuffer.size() +
                          OptionBytes(fields).size() + fields.text.size();
  if (length > std::numeric_limits<uint32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<uint32_t>(length);
}

void WriteScanRequest(uint8_t* payload, const ScanRequestFields& fields) {
  std::memset(payload, 0, kHeaderSize);
  StoreLittleEndian(payload + kAction, fields.action);
  StoreLittleEndian(payload + kFileSize, fields.fileSize);
  payload[kFingerprintValid] = fields.fingerprintValid ? 1 : 0;
  std::memcpy(payload + kFingerprint, fields.fingerprint.data(), fields.fingerprint.size());
  payload[kCacheUsable] = fields.cacheUsable ? 1 : 0;
  StoreLittleEndian(payload + kProcessInfo, fields.processInfo);
  payload[kCleanTraces] = fields.cleanTraces ? 1 : 0;
  const uint32_t nameLength = NameLength(fields);
  StoreLittleEndian(payload + kNameLength, nameLength);
  StoreLittleEndian(payload + kNameAddress, AddressOf(fields.name));
  payload[kStrongFingerprint] = fields.strongFingerprint ? 1 : 0;

  uint8_t* at = payload + kHeaderSize;
  at = Put(at, {reinterpret_cast<const uint8_t*>(fields.name), nameLength});
  const auto initialLength = static_cast<uint32_t>(fields.initialBuffer.size());
  uint8_t* const initialData = at + kDescriptorSize;
  StoreLittleEndian<uint64_t>(at, 0);
  StoreLittleEndian(at + 8, initialLength);
  StoreLittleEndian<uint64_t>(at + 12, initialLength != 0 ? AddressOf(initialData) : 0);
  StoreLittleEndian(at + 20, initialLength);
  StoreLittleEndian<int32_t>(at + 24, 0);
  at = Put(initialData, fields.initialBuffer);
  for (const int32_t word : fields.sentResultBlock.words) {
    StoreLittleEndian(at, word);
    at += 4;
  }
  const std::span<const uint8_t> options = OptionBytes(fields);
  StoreLittleEndian(at, static_cast<uint32_t>(options.size() / 16));
  at = Put(at + 4, options);
  StoreLittleEndian(at, static_cast<uint32_t>(fields.text.size()));
  at = Put(at + 4, fields.text);
  StoreLittleEndian(at, fields.profileValue);
}

uint32_t ProfileValue(std::span<const uint8_t, 44> record) {
  // zlib's CRC-32 is the complement of the register.
  return ~static_cast<uint32_t>(crc32(0L, record.data(), static_cast<uInt>(record.size())));
}

uint32_t ProfileFromOptions(std::span<const uint8_t> optionEntries) {
  constexpr uint32_t kProfileEntry = 122;
  for (size_t at = 0; at + 16 <= optionEntries.size(); at += 16) {
    const uint8_t* entry = optionEntries.data() + at;
    if (LoadLittleEndian<uint32_t>(entry) == kProfileEntry &&
        LoadLittleEndian<uint32_t>(entry + 4) != 0) {
      return LoadLittleEndian<uint32_t>(entry + 8) ^ LoadLittleEndian<uint32_t>(entry + 12);
    }
  }
  return 0;
}

}  // namespace sondrel
