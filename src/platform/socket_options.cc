#include "platform/socket_options.h"

#include <sys/socket.h>
#include <sys/time.h>

#include <cerrno>

namespace sondrel::platform {
namespace {

int OptionName(SocketTimeout which) {
  return which == SocketTimeout::Receive ? SO_RCVTIMEO : SO_SNDTIMEO;
}

}  // namespace

int SetSocketTimeout(NativeSocket socket, SocketTimeout which, uint32_t milliseconds) {
  timeval value{};
  value.tv_sec = static_cast<time_t>(milliseconds / 1000);
  value.tv_usec = static_cast<suseconds_t>((milliseconds % 1000) * 1000);
  if (setsockopt(socket, SOL_SOCKET, OptionName(which), &value, sizeof(value)) != 0) {
    return errno;
  }
  return 0;
}

std::optional<uint32_t> GetSocketTimeout(NativeSocket socket, SocketTimeout which) {
  timeval value{};
  socklen_t length = sizeof(value);
  if (getsockopt(socket, SOL_SOCKET, OptionName(which), &value, &length) != 0) {
    return std::nullopt;
  }
  return static_cast<uint32_t>(value.tv_sec * 1000 + value.tv_usec / 1000);
}

int ShutdownSocket(NativeSocket socket) {
  if (shutdown(socket, SHUT_RDWR) != 0) {
    return errno;
  }
  return 0;
}

}  // namespace sondrel::platform
