// What sondrel-probe reports about each pool session, as a table or as one JSON object.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace sondrel {
class SockCommSession;
}

namespace sondrel::probe {

struct SessionReport {
  std::string host;
  std::string port;
  bool tls = false;
  // The server's certificate passed the checks the TLS settings ask for (never for plain TCP).
  bool verified = false;
  int32_t state = 0;
  // Known once the server has sent its running data.
  std::optional<std::string> serverId;
  std::optional<std::string> version;
  // Known once a hello or ping echo has been measured.
  std::optional<int64_t> latencyUs;
  int32_t slowPings = 0;
  bool best = false;
};

SessionReport DescribeSession(const SockCommSession& session, bool best);

// "Server_Normal" ... "Server_Retired".
std::string StateName(int32_t state);
// Whether some session can take requests (state 0 to 2).
bool AnyUsable(const std::vector<SessionReport>& sessions);

void WriteText(const std::vector<SessionReport>& sessions, std::ostream& out);
// {"sessions":[{"host":...,"port":...,"tls":...,"verified":...,"state":...,"server_id":...,
// "version":...,
// "latency_us":...,"slow_pings":...,"best":...}]}, with null for what is not known.
void WriteJson(const std::vector<SessionReport>& sessions, std::ostream& out);

}  // namespace sondrel::probe
