// Kalvix.json, the internal monitor's own file: the settings it gives the client (every property
// of the settings record, by its name), the path of its status socket, and whether it hands the
// slot pairs of a client it replaces to the new one. See README.md for the format.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "config/settings.h"

namespace sondrel::kalvix {

inline constexpr const wchar_t* kConfigFileName = L"Kalvix.json";
// A larger file is refused unread.
inline constexpr size_t kMaxConfigBytes = 1024 * 1024;

struct KalvixConfig {
  // The built-in defaults, overwritten by what the file names.
  Settings settings;
  // Absolute, or made absolute against the file's directory; empty: no status socket.
  std::string statusSocket;
  bool handOverSlotPairs = true;

  friend bool operator==(const KalvixConfig&, const KalvixConfig&) = default;
};

// The file's contents, or nothing with the reason in `error`: the file is missing, empty,
// unreadable, too large or not valid JSON, or names a key the format does not have or a value of
// the wrong kind.
std::optional<KalvixConfig> ReadKalvixConfig(const std::wstring& path, std::string& error);
// The same for text read from a file in `directory`.
std::optional<KalvixConfig> ParseKalvixConfig(std::string_view text, std::string_view directory,
                                              std::string& error);

}  // namespace sondrel::kalvix
