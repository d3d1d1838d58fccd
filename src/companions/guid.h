// The 16-byte identifier of classes, interfaces and services of the companion libraries, in the
// layout their factories expect (a 32-bit, two 16-bit and eight single-byte parts), passed by
// value.
#pragma once

#include <array>
#include <cstdint>

namespace sondrel {

struct Guid {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  std::array<uint8_t, 8> data4;

  friend bool operator==(const Guid&, const Guid&) = default;
};
static_assert(sizeof(Guid) == 16);

// Passed to every QxCreateObject call.
inline constexpr Guid kCompanionClassId{
    0x66551AB3, 0xFCA3, 0xBC90, {0x5F, 0x42, 0xC5, 0xF7, 0x92, 0xE2, 0x4B, 0x51}};
// The monitor receiver interface of the "monitorReceiver" object.
inline constexpr Guid kMonitorReceiverId{
    0x47BFE4F1, 0xCDD7, 0xB4BB, {0x91, 0x48, 0xFA, 0x95, 0xB2, 0x97, 0xA8, 0xA6}};
// The plug-in interface of the "Merrin" and "InternalOstrel" objects.
inline constexpr Guid kServPluginId{
    0x414E2323, 0x04D0, 0x9833, {0x76, 0x41, 0x88, 0x7C, 0x5D, 0x82, 0x52, 0xE9}};
// The response cache service of the "Merrin" plug-in.
inline constexpr Guid kResponseCacheServiceId{
    0xCDAF9027, 0x7085, 0xA5E8, {0xA5, 0x4C, 0xAD, 0xAF, 0xB9, 0x52, 0x60, 0xAD}};
// The internal monitor client service of the "InternalOstrel" plug-in.
inline constexpr Guid kInternalMonitorServiceId{
    0x431C66A1, 0x08FF, 0xA2F5, {0x86, 0x41, 0x22, 0xDE, 0x32, 0xF0, 0x52, 0x29}};

}  // namespace sondrel
