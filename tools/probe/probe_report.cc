#include "tools/probe/probe_report.h"

#include <algorithm>
#include <charconv>
#include <iomanip>
#include <iterator>
#include <nlohmann/json.hpp>

#include "comm/server_state.h"
#include "comm/sock_comm_session.h"
#include "protocol/server_identity.h"

namespace sondrel::probe {
namespace {

constexpr const char* kStateNames[] = {"Server_Normal", "Server_Underloaded", "Server_Overloaded",
                                       "Server_Down",   "Server_Unknown",     "Server_Retired"};

// A port text that is a number is written as one.
nlohmann::ordered_json JsonPort(const std::string& port) {
  unsigned value = 0;
  const char* end = port.data() + port.size();
  const auto [stop, error] = std::from_chars(port.data(), end, value);
  if (port.empty() || error != std::errc() || stop != end || value > 65535) {
    return port;
  }
  return value;
}

template <typename T>
nlohmann::ordered_json JsonOptional(const std::optional<T>& value) {
  return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json(nullptr);
}

}  // namespace

SessionReport DescribeSession(const SockCommSession& session, bool best) {
  SessionReport report;
  report.host = session.GetHost();
  report.port = session.GetPort();
  report.tls = session.useTls();
  report.verified = session.tlsVerified();
  report.state = session.serverState().state;
  if (session.runningDataObtained()) {
    report.serverId = FormatServerIdentity(session.serverRunningId());
    report.version = std::to_string(session.serverVersionMajor()) + "." +
                     std::to_string(session.serverVersionMinor());
  }
  if (session.lastLatencyUs() >= 0) {
    report.latencyUs = session.lastLatencyUs();
  }
  report.slowPings = session.slowPingCount();
  report.best = best;
  return report;
}

std::string StateName(int32_t state) {
  if (state < 0 || state >= static_cast<int32_t>(std::size(kStateNames))) {
    return "state " + std::to_string(state);
  }
  return kStateNames[state];
}

bool AnyUsable(const std::vector<SessionReport>& sessions) {
  return std::any_of(sessions.begin(), sessions.end(),
                     [](const SessionReport& s) { return s.state <= Server_Overloaded; });
}

void WriteText(const std::vector<SessionReport>& sessions, std::ostream& out) {
  if (sessions.empty()) {
    out << "no sessions\n";
    return;
  }
  out << std::left << std::setw(6) << "best" << std::setw(28) << "server" << std::setw(5) << "tls"
      << std::setw(10) << "verified" << std::setw(20) << "state" << std::setw(38) << "server id"
      << std::setw(9) << "version" << std::setw(12) << "latency_us"
      << "slow_pings\n";
  for (const SessionReport& s : sessions) {
    out << std::setw(6) << (s.best ? "*" : "") << std::setw(28) << (s.host + ":" + s.port)
        << std::setw(5) << (s.tls ? "yes" : "no") << std::setw(10) << (s.verified ? "yes" : "no")
        << std::setw(20) << StateName(s.state) << std::setw(38) << s.serverId.value_or("-")
        << std::setw(9) << s.version.value_or("-") << std::setw(12)
        << (s.latencyUs ? std::to_string(*s.latencyUs) : "-") << s.slowPings << "\n";
  }
}

void WriteJson(const std::vector<SessionReport>& sessions, std::ostream& out) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const SessionReport& s : sessions) {
    list.push_back({{"host", s.host},
                    {"port", JsonPort(s.port)},
                    {"tls", s.tls},
                    {"verified", s.verified},
                    {"state", StateName(s.state)},
                    {"server_id", JsonOptional(s.serverId)},
                    {"version", JsonOptional(s.version)},
                    {"latency_us", JsonOptional(s.latencyUs)},
                    {"slow_pings", s.slowPings},
                    {"best", s.best}});
  }
  // Invalid UTF-8 from a server is replaced rather than refused.
  out << nlohmann::ordered_json{{"sessions", list}}.dump(-1, ' ', false,
                                                         nlohmann::json::error_handler_t::replace)
      << "\n";
}

}  // namespace sondrel::probe
