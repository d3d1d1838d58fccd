// Socket options that need the operating system's own types.
#pragma once

#include <cstdint>
#include <optional>

namespace sondrel::platform {

// A socket as the operating system knows it (a file descriptor here).
using NativeSocket = int;

enum class SocketTimeout { Receive, Send };

// Sets SO_RCVTIMEO or SO_SNDTIMEO from milliseconds (0 waits without limit). Returns 0, or the
// system's error number.
int SetSocketTimeout(NativeSocket socket, SocketTimeout which, uint32_t milliseconds);
// The time-out in milliseconds, or nothing when the system does not report it.
std::optional<uint32_t> GetSocketTimeout(NativeSocket socket, SocketTimeout which);
// Shuts both directions of the socket down, so that a call blocked on it in another thread
// returns. Returns 0, or the system's error number.
int ShutdownSocket(NativeSocket socket);

}  // namespace sondrel::platform
