#include "kalvix_config.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>
#include <type_traits>
#include <variant>
#include <vector>

#include "platform/file_system.h"
#include "platform/path.h"
#include "platform/utf8.h"

namespace sondrel::kalvix {
namespace {

using nlohmann::json;

// A key of a JSON object and the member it sets.
template <typename T>
struct Key {
  const char* name;
  std::variant<bool T::*, int32_t T::*, qx::StringT T::*> member;
};

const std::vector<Key<Settings>>& SettingsKeys() {
  static const std::vector<Key<Settings>> keys = {
      {"enableScan", &Settings::enableScan},
      {"scanLocalIfError", &Settings::scanLocalIfError},
      {"preferLocalToOverloaded", &Settings::preferLocalToOverloaded},
      {"port", &Settings::port},
      {"portSSL", &Settings::portSSL},
      {"timeout", &Settings::timeout},
      {"timeoutDisinfect", &Settings::timeoutDisinfect},
      {"compressionLevel", &Settings::compressionLevel},
      {"compressionMinBytes", &Settings::compressionMinBytes},
      {"connectAsync", &Settings::connectAsync},
      {"useCache", &Settings::useCache},
      {"useLocalCache", &Settings::useLocalCache},
      {"disinfectOnly", &Settings::disinfectOnly},
      {"cleanSystem", &Settings::cleanSystem},
      {"cacheNonPE", &Settings::cacheNonPE},
      {"hashNonPE", &Settings::hashNonPE},
      {"hashSmallNonPE", &Settings::hashSmallNonPE},
      {"sendInitialBuffer", &Settings::sendInitialBuffer},
      {"initialBufferSize", &Settings::initialBufferSize},
      {"cachemissCountBuffsend", &Settings::cachemissCountBuffsend},
      {"cacheTreshold", &Settings::cacheTreshold},
      {"overloadedServerLimit", &Settings::overloadedServerLimit},
      {"underloadedServerLimit", &Settings::underloadedServerLimit},
      {"minServerConnections", &Settings::minServerConnections},
      {"maxServerConnections", &Settings::maxServerConnections},
      {"acceptConnectSameServer", &Settings::acceptConnectSameServer},
      {"spareText1", &Settings::spareText1},
      {"spareText2", &Settings::spareText2},
      {"region", &Settings::region},
      {"reconnectInterval", &Settings::reconnectInterval},
      {"extractOnServer", &Settings::extractOnServer},
      {"maxSizeServerExtract", &Settings::maxSizeServerExtract},
      {"detectLatency", &Settings::detectLatency},
      {"latencyTimeout", &Settings::latencyTimeout},
      {"tlsCaFile", &Settings::tlsCaFile},
      {"tlsCaPath", &Settings::tlsCaPath},
      {"tlsVerifyHost", &Settings::tlsVerifyHost},
      {"tlsPin", &Settings::tlsPin},
      {"tlsClientCert", &Settings::tlsClientCert},
      {"tlsClientKey", &Settings::tlsClientKey},
  };
  return keys;
}

const std::vector<Key<ServerSettings>>& ServerKeys() {
  static const std::vector<Key<ServerSettings>> keys = {
      {"address", &ServerSettings::address},   {"port", &ServerSettings::port},
      {"useSSL", &ServerSettings::useSSL},     {"priority", &ServerSettings::priority},
      {"enforced", &ServerSettings::enforced}, {"nodeid", &ServerSettings::nodeid},
      {"tlsPin", &ServerSettings::tlsPin},
  };
  return keys;
}

// Reads one value into the member its key names; false with the reason in `error`.
template <typename T>
bool ReadValue(const json& value, const Key<T>& key, T& record, const std::string& where,
               std::string& error) {
  return std::visit(
      [&](auto member) {
        using Member = std::remove_reference_t<decltype(record.*member)>;
        if constexpr (std::is_same_v<Member, bool>) {
          if (!value.is_boolean()) {
            error = where + " must be true or false";
            return false;
          }
          record.*member = value.get<bool>();
        } else if constexpr (std::is_same_v<Member, int32_t>) {
          using Limits = std::numeric_limits<int32_t>;
          bool fits = false;
          if (value.is_number_unsigned()) {
            fits = value.get<uint64_t>() <= static_cast<uint64_t>(Limits::max());
          } else if (value.is_number_integer()) {
            fits = value.get<int64_t>() >= Limits::min() && value.get<int64_t>() <= Limits::max();
          }
          if (!fits) {
            error = where + " must be a whole number from -2147483648 to 2147483647";
            return false;
          }
          record.*member = static_cast<int32_t>(value.get<int64_t>());
        } else {
          if (!value.is_string()) {
            error = where + " must be a text";
            return false;
          }
          record.*member = platform::ToWide(value.get<std::string>());
        }
        return true;
      },
      key.member);
}

// Reads every key of `object` into `record`; an unknown key is an error, so that a misspelt key
// is not silently left at its default.
template <typename T>
bool ReadObject(const json& object, const std::vector<Key<T>>& keys, T& record,
                const std::string& prefix, std::string& error) {
  for (const auto& [name, value] : object.items()) {
    const std::string where = prefix + name;
    const auto key = std::find_if(keys.begin(), keys.end(),
                                  [&](const Key<T>& candidate) { return name == candidate.name; });
    if (key == keys.end()) {
      error = "unknown key " + where;
      return false;
    }
    if (!ReadValue(value, *key, record, where, error)) {
      return false;
    }
  }
  return true;
}

bool ReadServers(const json& servers, Settings& settings, std::string& error) {
  if (!servers.is_array()) {
    error = "settings.servers must be a list";
    return false;
  }
  for (size_t i = 0; i < servers.size(); ++i) {
    const std::string prefix = "settings.servers[" + std::to_string(i) + "].";
    const json& entry = servers[i];
    if (!entry.is_object() || !entry.contains("address")) {
      error = prefix + "address is missing";
      return false;
    }
    ServerSettings server;
    if (!ReadObject(entry, ServerKeys(), server, prefix, error)) {
      return false;
    }
    if (server.address.View().empty()) {
      error = prefix + "address is empty";
      return false;
    }
    settings.servers.push_back(std::move(server));
  }
  return true;
}

bool ReadSettings(const json& object, Settings& settings, std::string& error) {
  if (!object.is_object()) {
    error = "settings must be an object";
    return false;
  }
  json others = object;
  if (const auto servers = object.find("servers"); servers != object.end()) {
    if (!ReadServers(*servers, settings, error)) {
      return false;
    }
    others.erase("servers");
  }
  return ReadObject(others, SettingsKeys(), settings, "settings.", error);
}

}  // namespace

std::optional<KalvixConfig> ParseKalvixConfig(std::string_view text, std::string_view directory,
                                              std::string& error) {
  const json document = json::parse(text, nullptr, false);
  if (document.is_discarded()) {
    error = "not valid JSON";
    return std::nullopt;
  }
  if (!document.is_object()) {
    error = "the file must hold one JSON object";
    return std::nullopt;
  }
  KalvixConfig config;
  for (const auto& [name, value] : document.items()) {
    if (name == "settings") {
      if (!ReadSettings(value, config.settings, error)) {
        return std::nullopt;
      }
    } else if (name == "statusSocket") {
      if (!value.is_string() || value.get<std::string>().empty()) {
        error = "statusSocket must be a path";
        return std::nullopt;
      }
      const std::filesystem::path socket(value.get<std::string>());
      config.statusSocket = socket.is_absolute()
                                ? socket.string()
                                : (std::filesystem::path(directory) / socket).string();
    } else if (name == "handOverSlotPairs") {
      if (!value.is_boolean()) {
        error = "handOverSlotPairs must be true or false";
        return std::nullopt;
      }
      config.handOverSlotPairs = value.get<bool>();
    } else {
      error = "unknown key " + name;
      return std::nullopt;
    }
  }
  return config;
}

std::optional<KalvixConfig> ReadKalvixConfig(const std::wstring& path, std::string& error) {
  if (!platform::FileExists(path)) {
    error = "the file does not exist";
    return std::nullopt;
  }
  std::ifstream file(platform::NativePath(path), std::ios::binary);
  std::string text;
  if (file) {
    text.resize(kMaxConfigBytes + 1);
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(file.gcount()));
  }
  if (!file && !file.eof()) {
    error = "the file cannot be read";
    return std::nullopt;
  }
  if (text.size() > kMaxConfigBytes) {
    error = "the file is larger than 1 MiB";
    return std::nullopt;
  }
  if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
    error = "the file is empty";
    return std::nullopt;
  }
  return ParseKalvixConfig(text, platform::NativePath(platform::PathParent(path)), error);
}

}  // namespace sondrel::kalvix
