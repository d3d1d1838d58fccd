#include "protocol/scan_request.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "protocol/byte_reader.h"
#include "protocol/little_endian.h"

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
constexpr size_t kExtraLength = 12;
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

std::string ReceivedScanRequest::NameText() const {
  const auto end = std::find(name.begin(), name.end(), uint8_t{0});
  return std::string(name.begin(), end);
}

namespace {

// Reads items one after the other from a payload, each only when all of its bytes are there.
class ItemReader {
 public:
  explicit ItemReader(std::span<const uint8_t> payload) : reader_(payload) {}

  std::optional<std::span<const uint8_t>> Bytes(uint64_t count) {
    if (count > reader_.size()) {
      return std::nullopt;
    }
    const auto bytes = reader_.BytesAt(next_, static_cast<size_t>(count));
    if (bytes) {
      next_ += bytes->size();
    }
    return bytes;
  }
  std::optional<uint32_t> U32() {
    const auto value = reader_.U32At(next_);
    if (value) {
      next_ += 4;
    }
    return value;
  }
  bool AtEnd() const { return next_ == reader_.size(); }

 private:
  ByteReader reader_;
  size_t next_ = 0;
};

}  // namespace

ScanRequestParse ParseScanRequest(std::span<const uint8_t> payload) {
  const ByteReader header(payload);
  if (!header.Has(0, kHeaderSize)) {
    return {std::nullopt, "shorter than the request header"};
  }
  ReceivedScanRequest request;
  request.action = *header.I32At(kAction);
  request.fileSize = *header.U64At(kFileSize);
  request.fingerprintValid = payload[kFingerprintValid] != 0;
  std::copy_n(payload.begin() + kFingerprint, request.fingerprint.size(),
              request.fingerprint.begin());
  request.cacheUsable = payload[kCacheUsable] != 0;
  request.processInfo = *header.I32At(kProcessInfo);
  request.cleanTraces = payload[kCleanTraces] != 0;
  request.strongFingerprint = payload[kStrongFingerprint] != 0;

  ItemReader items(payload);
  items.Bytes(kHeaderSize);
  const auto extra = items.Bytes(*header.U32At(kExtraLength));
  if (!extra) {
    return {std::nullopt, "extra bytes beyond the payload"};
  }
  request.extra = *extra;
  const auto name = items.Bytes(*header.U32At(kNameLength));
  if (!name) {
    return {std::nullopt, "name beyond the payload"};
  }
  request.name = *name;
  const auto descriptor = items.Bytes(kDescriptorSize);
  if (!descriptor) {
    return {std::nullopt, "initial buffer descriptor beyond the payload"};
  }
  request.initialOffset = LoadLittleEndian<uint64_t>(descriptor->data());
  const auto initialBuffer = items.Bytes(LoadLittleEndian<uint32_t>(descriptor->data() + 20));
  if (!initialBuffer) {
    return {std::nullopt, "initial buffer beyond the payload"};
  }
  request.initialBuffer = *initialBuffer;
  const auto resultBlock = items.Bytes(kResultBlockSize);
  if (!resultBlock) {
    return {std::nullopt, "result block beyond the payload"};
  }
  for (size_t i = 0; i < request.sentResultBlock.words.size(); ++i) {
    request.sentResultBlock.words[i] = LoadLittleEndian<int32_t>(resultBlock->data() + 4 * i);
  }
  const auto optionCount = items.U32();
  const auto options = optionCount ? items.Bytes(uint64_t{16} * *optionCount) : std::nullopt;
  if (!options) {
    return {std::nullopt, "options beyond the payload"};
  }
  request.optionEntries = *options;
  const auto textLength = items.U32();
  const auto text = textLength ? items.Bytes(*textLength) : std::nullopt;
  if (!text) {
    return {std::nullopt, "text beyond the payload"};
  }
  request.text = *text;
  const auto profileValue = items.U32();
  if (!profileValue) {
    return {std::nullopt, "profile value beyond the payload"};
  }
  request.profileValue = *profileValue;
  if (!items.AtEnd()) {
    return {std::nullopt, "bytes after the profile value"};
  }
  return {request, nullptr};
}

}  // namespace sondrel
