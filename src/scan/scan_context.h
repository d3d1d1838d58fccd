// The state of one host caller: created by Init, handed to the host as an opaque handle, and
// carrying one request at a time from Scan or Disinfect through the server conversation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/result_block.h"
#include "scan/file_reader.h"
#include "sondrel/sondrel.h"

namespace sondrel {

struct ScanContext {
  const HostCallbacks* callbacks = nullptr;  // the table of the current request
  std::string threatName;
  int32_t verdict = 0;
  int32_t channel = -1;  // the connection manager's request channel, -1 while there is none
  int32_t action = 0;    // 0 for a scan, otherwise the disinfection action
  bool useServerCache = false;
  bool useLocalCache = false;
  bool outByte = false;
  std::vector<uint8_t> hashCopy;  // the current file's fingerprint, kept for the cache store
  std::string displayName;
  FileReader fileReader;
  bool foundInCache = false;
  ResultBlock sentResultBlock;
  int32_t finalStatus = 0;
  ResultBlock receivedResultBlock;
  uint32_t cacheValue = 0;
  uint8_t storeBlocking = 0;
  uint32_t optionWordA = 0;
  uint32_t optionWordB = 0;
  bool detected = false;
  int32_t disinfectFlags = 0;
};

}  // namespace sondrel
