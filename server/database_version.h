// What tells one set of signatures from another across servers: a digest of the engine's
// version and of every database file the engine loads (names, sizes and bytes). Two servers
// with the same text here scan alike, so a clean result of one is good for the other.
#pragma once

#include <string>
#include <vector>

namespace sondrel::server {

// 32 hex digits; empty when a database cannot be read whole.
std::string DatabaseVersion(const std::vector<std::string>& databases);

}  // namespace sondrel::server
