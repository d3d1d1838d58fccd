// Little-endian loads and stores on raw bytes, independent of the build's byte order. The loads
// are for bytes whose bounds are already checked (see byte_reader.h for received data).
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace sondrel {

template <typename T>
constexpr T LoadLittleEndian(const uint8_t* bytes) {
  static_assert(std::is_integral_v<T>);
  using U = std::make_unsigned_t<T>;
  U value = 0;
  for (size_t i = 0; i < sizeof(T); ++i) {
    value = static_cast<U>(value | (static_cast<U>(bytes[i]) << (8 * i)));
  }
  return static_cast<T>(value);
}

template <typename T>
constexpr void StoreLittleEndian(uint8_t* bytes, T value) {
  static_assert(std::is_integral_v<T>);
  using U = std::make_unsigned_t<T>;
  const U bits = static_cast<U>(value);
  for (size_t i = 0; i < sizeof(T); ++i) {
    bytes[i] = static_cast<uint8_t>(bits >> (8 * i));
  }
}

}  // namespace sondrel
