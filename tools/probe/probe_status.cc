#include "tools/probe/probe_status.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/local/stream_protocol.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "tools/probe/probe.h"

namespace sondrel::probe {
namespace {

namespace asio = boost::asio;
using Local = asio::local::stream_protocol;
using nlohmann::json;

constexpr size_t kLongestAnswer = 1024 * 1024;
constexpr auto kStatusTimeout = std::chrono::seconds(5);

std::string YesNo(const json& value) {
  return value.is_boolean() && value.get<bool>() ? "yes" : "no";
}

std::string Text(const json& value) {
  if (value.is_string()) {
    return value.get<std::string>();
  }
  return value.is_null() ? "-" : value.dump();
}

void WriteClient(const json& client, size_t number, std::ostream& out) {
  out << "client " << number << "\n";
  const auto line = [&out](const char* label, const std::string& value) {
    char padded[24];
    std::snprintf(padded, sizeof(padded), "  %-20s", label);
    out << padded << value << "\n";
  };
  line("can scan", YesNo(client.value("canScan", json())));
  line("can scan remote", YesNo(client.value("canScanRemote", json())));
  const json availability = client.value("lastAvailabilityEvent", json());
  line("last availability",
       availability.is_object() ? Text(availability.value("time", json())) : "-");
  const json best = client.value("lastBestSessionEvent", json());
  line("last best session", best.is_object() ? Text(best.value("time", json())) : "-");
  line("slot pairs", Text(client.value("slotPairs", json())));
  const json connections = client.value("connections", json());
  if (!connections.is_array()) {
    line("connections", "unknown (the client has no connection manager)");
    return;
  }
  char header[96];
  std::snprintf(header, sizeof(header), "  %-32s %-4s %-9s %s\n", "server", "tls", "priority",
                "enforced");
  out << header;
  for (const json& server : connections) {
    const std::string address =
        Text(server.value("address", json())) + ":" + Text(server.value("port", json()));
    char row[160];
    std::snprintf(row, sizeof(row), "  %-32s %-4s %-9s %s\n", address.c_str(),
                  YesNo(server.value("tls", json())).c_str(),
                  Text(server.value("priority", json())).c_str(),
                  YesNo(server.value("enforced", json())).c_str());
    out << row;
  }
}

void WriteStatusText(const json& document, std::ostream& out) {
  out << "settings file  " << Text(document.value("settingsFile", json())) << "\n";
  const json& clients = document["clients"];
  if (clients.empty()) {
    out << "no client is registered\n";
  }
  for (size_t i = 0; i < clients.size(); ++i) {
    WriteClient(clients[i], i + 1, out);
  }
}

}  // namespace

std::optional<std::string> QueryStatus(const std::string& socketPath,
                                       std::chrono::milliseconds timeout, std::string& error) {
  asio::io_context io;
  Local::socket socket(io);
  std::string answer;
  boost::system::error_code failure;
  bool done = false;
  try {
    socket.async_connect(Local::endpoint(socketPath), [&](const boost::system::error_code& e) {
      if (e) {
        failure = e;
        done = true;
        return;
      }
      asio::async_write(socket, asio::buffer("status\n", 7),
                        [&](const boost::system::error_code& written, size_t) {
                          if (written) {
                            failure = written;
                            done = true;
                            return;
                          }
                          asio::async_read(socket, asio::dynamic_buffer(answer, kLongestAnswer),
                                           [&](const boost::system::error_code& read, size_t) {
                                             if (read != asio::error::eof) {
                                               failure = read;
                                             }
                                             done = true;
                                           });
                        });
    });
  } catch (const std::exception& e) {
    error = e.what();
    return std::nullopt;
  }
  io.run_for(timeout);
  if (!done) {
    error = "no answer within " + std::to_string(timeout.count()) + " ms";
    return std::nullopt;
  }
  if (failure) {
    error = failure.message();
    return std::nullopt;
  }
  while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) {
    answer.pop_back();
  }
  const json document = json::parse(answer, nullptr, false);
  if (document.is_discarded() || !document.is_object() || !document.contains("clients") ||
      !document["clients"].is_array()) {
    error = "the answer is no status document: " + answer.substr(0, 200);
    return std::nullopt;
  }
  return answer;
}

int RunStatus(const std::string& socketPath, bool json, std::ostream& out, std::ostream& err) {
  std::string error;
  const std::optional<std::string> answer = QueryStatus(socketPath, kStatusTimeout, error);
  if (!answer) {
    err << "sondrel-probe: no status from " << socketPath << ": " << error << "\n";
    return kNoneUsable;
  }
  if (json) {
    out << *answer << "\n";
  } else {
    WriteStatusText(nlohmann::json::parse(*answer), out);
  }
  return kUsable;
}

}  // namespace sondrel::probe
