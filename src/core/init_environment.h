// What Init reaches outside the client object: the connection manager it creates, where it looks
// for the settings file and the companion libraries, and how long it lets new sessions settle
// before moving slots. Tests replace parts of it; the defaults are the real ones.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "comm/i_sock_comm_client.h"

namespace sondrel {

struct InitEnvironment {
  // Null makes a SockCommClient.
  std::function<std::unique_ptr<ISockCommClient>()> makeCommClient{};
  // Where the search for the settings file starts; the host executable's directory when empty.
  std::optional<std::wstring> settingsDirectory{};
  // Directories with a trailing separator. The host executable's holds the monitor receiver and
  // starts the search for the internal monitor library; this library's own holds the response
  // cache. The real ones when empty.
  std::optional<std::wstring> executableDirectory{};
  std::optional<std::wstring> libraryDirectory{};
  std::chrono::milliseconds settleTime{1000};
};

}  // namespace sondrel
