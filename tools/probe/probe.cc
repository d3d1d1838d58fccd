#include "tools/probe/probe.h"

#include <chrono>
#include <thread>

#include "comm/comm_client_options.h"
#include "comm/sock_comm_client.h"
#include "comm/sock_comm_session.h"
#include "config/settings_file.h"
#include "config/settings_propagation.h"
#include "config/settings_store.h"
#include "platform/utf8.h"
#include "protocol/hello_record.h"
#include "tools/probe/probe_arguments.h"
#include "tools/probe/probe_report.h"
#include "tools/probe/probe_status.h"

namespace sondrel::probe {
namespace {

// The settings the pool runs with: those of the settings file, or those a settings file listing
// only the servers would give, with the --server entries added.
bool BuildSettings(const ProbeArguments& arguments, Settings& settings, std::ostream& err) {
  SettingsFileRecord record;
  if (arguments.settingsFile &&
      !ReadSettingsFile(platform::ToWide(*arguments.settingsFile), record)) {
    err << "sondrel-probe: cannot read the settings file " << *arguments.settingsFile << "\n";
    return false;
  }
  record.servers.insert(record.servers.end(), arguments.servers.begin(), arguments.servers.end());
  ApplyFileRecord(record, settings);
  return true;
}

std::vector<SessionReport> RunPool(const Settings& settings, int seconds) {
  SettingsStore store;
  store.ApplySettings(settings);
  SockCommClient client;
  const int32_t poolMode = 1;
  client.SetOption(kOptionPoolMode, &poolMode);
  const std::vector<uint8_t> hello = hello::MakeRecord("");
  const auto helloLength = static_cast<int32_t>(hello.size());
  client.SetOption(kOptionHelloLength, &helloLength);
  client.SetOption(kOptionHelloPayload, hello.data());
  PropagateSettings(store, client);
  client.Start();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const auto best = client.SelectBestSession(Server_Down);
  std::vector<SessionReport> sessions;
  for (const auto& session : client.Sessions()) {
    sessions.push_back(DescribeSession(*session, session == best));
  }
  client.Stop();
  return sessions;
}

}  // namespace

int RunProbe(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  std::string error;
  const auto parsed = ParseProbeArguments(arguments, error);
  if (!parsed) {
    err << "sondrel-probe: " << error << "\n" << ProbeUsage();
    return kUsageError;
  }
  if (parsed->help) {
    out << ProbeHelp();
    return kUsable;
  }
  if (parsed->statusSocket) {
    return RunStatus(*parsed->statusSocket, parsed->json, out, err);
  }
  Settings settings;
  if (!BuildSettings(*parsed, settings, err)) {
    return kUsageError;
  }
  const std::vector<SessionReport> sessions = RunPool(settings, parsed->seconds);
  if (parsed->json) {
    WriteJson(sessions, out);
  } else {
    WriteText(sessions, out);
  }
  return AnyUsable(sessions) ? kUsable : kNoneUsable;
}

}  // namespace sondrel::probe
