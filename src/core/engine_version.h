// The engine version the client announces in its hello: the "Version: " line of the update
// marker file in the engine directory given to Init.
#pragma once

#include <string>

namespace sondrel {

// The rest of the first line of `<engineDirectory>/update.txt` that begins with "Version: ",
// cut at its first CR or LF; lines are read 255 characters at a time. Empty when there is no
// such file or line.
std::string ReadEngineVersion(const std::wstring& engineDirectory);

}  // namespace sondrel
