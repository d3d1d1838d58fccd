// The result codes of the object model. Every operation of this layer reports through them;
// nothing is logged here.
#pragma once

#include <cstdint>

namespace Kalvix {

inline constexpr int32_t kResultOk = 0;
inline constexpr int32_t kResultNotSupported = 50;
// A copy in which no property was accepted by the target.
inline constexpr int32_t kResultNothingCopied = 232;
inline constexpr int32_t kResultIdOutOfRange = 644;
// No record behind the object, a missing argument, or no property with this id.
inline constexpr int32_t kResultNotFound = 4306;
// A list or nested record could not be filled or read.
inline constexpr int32_t kResultFillFailed = 4316;
inline constexpr int32_t kResultReadOnly = 6009;

// A copy succeeded when at least one property was accepted: its result is 0 or a negative count
// of the refused properties.
inline constexpr bool CopySucceeded(int32_t result) {
  return result <= 0;
}

}  // namespace Kalvix
