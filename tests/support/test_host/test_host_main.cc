// sondrel-test-host: a host program for the tests of the companion libraries, which need a host
// that keeps running while a test changes files around it. It loads libsondrel.so from beside
// itself, as a host product does, calls CoreInit once, and then follows the commands a test
// appends to a file, one per line, each prefixed with its number:
//   N scan    scans the program's file and answers "N status=S verdict=V flags=F"
//   N quit    the final CoreUninit and CoreFree, then "bye", and the program ends
// Answers are appended to the output file, one line each; the first is "0 ready R" with CoreInit's
// result. Without a command for a minute, the
// program quits by itself, so that a test that went wrong leaves nothing running.
//
//   sondrel-test-host COMMANDS OUTPUT FILE
#include <chrono>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>

#include "platform/module_loader.h"
#include "platform/process_info.h"
#include "platform/utf8.h"
#include "sondrel/sondrel.h"
#include "tools/scan/file_host.h"

namespace {

using namespace std::chrono_literals;
using sondrel::platform::GetModuleSymbol;

constexpr auto kPollStep = 20ms;
constexpr auto kIdleLimit = 60s;

void Answer(const std::string& output, const std::string& line) {
  std::ofstream(output, std::ios::app) << line << "\n" << std::flush;
}

template <typename Function>
Function Resolve(sondrel::platform::ModuleHandle module, const char* name) {
  return reinterpret_cast<Function>(GetModuleSymbol(module, name));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: sondrel-test-host COMMANDS OUTPUT FILE\n";
    return 2;
  }
  const std::string commands = argv[1];
  const std::string output = argv[2];
  const std::string file = argv[3];
  const std::wstring directory = sondrel::platform::ExecutableDirectory();
  uint32_t error = 0;
  sondrel::platform::ModuleHandle library =
      sondrel::platform::LoadModule(directory + L"libsondrel.so", &error);
  if (library == nullptr) {
    std::cerr << "cannot load libsondrel.so: " << sondrel::platform::LastModuleError() << "\n";
    return 2;
  }
  const auto coreNew = Resolve<decltype(&CoreNew)>(library, "CoreNew");
  const auto coreInit = Resolve<decltype(&CoreInit)>(library, "CoreInit");
  const auto coreScan = Resolve<decltype(&CoreScan)>(library, "CoreScan");
  const auto coreUninit = Resolve<decltype(&CoreUninit)>(library, "CoreUninit");
  const auto coreFree = Resolve<decltype(&CoreFree)>(library, "CoreFree");

  SondrelObject* client = coreNew();
  SondrelScanContext* context = nullptr;
  const int32_t initResult =
      coreInit(client, &context, sondrel::platform::ToUtf8(directory).c_str());
  Answer(output, "0 ready " + std::to_string(initResult));

  std::streamoff consumed = 0;
  std::string pending;
  auto lastCommand = std::chrono::steady_clock::now();
  bool quit = false;
  while (!quit) {
    std::ifstream in(commands, std::ios::binary);
    in.seekg(consumed);
    std::string chunk((std::istreambuf_iterator<char>(in)), {});
    consumed += static_cast<std::streamoff>(chunk.size());
    pending += chunk;
    for (size_t end; !quit && (end = pending.find('\n')) != std::string::npos;) {
      std::istringstream line(pending.substr(0, end));
      pending.erase(0, end + 1);
      std::string number;
      std::string command;
      line >> number >> command;
      lastCommand = std::chrono::steady_clock::now();
      if (command == "scan") {
        const sondrel::scan_tool::FileHost host(file, false);
        int32_t verdict = 0;
        int32_t flags = 0;
        char threat[64] = {};
        ScanRequest request{};
        request.path = file.c_str();
        request.verdict = &verdict;
        request.threatName = threat;
        request.threatNameCapacity = sizeof(threat);
        request.flags = &flags;
        const int32_t status = coreScan(client, &host.callbacks(), &request, context);
        Answer(output, number + " status=" + std::to_string(status) + " verdict=" +
                           std::to_string(verdict) + " flags=" + std::to_string(flags));
      } else if (command == "quit") {
        quit = true;
      } else {
        Answer(output, number + " unknown");
      }
    }
    if (std::chrono::steady_clock::now() - lastCommand > kIdleLimit) {
      quit = true;
    }
    std::this_thread::sleep_for(kPollStep);
  }
  coreUninit(client, context, SONDREL_UNINIT_FINAL);
  coreFree(client);
  sondrel::platform::FreeModule(library);
  Answer(output, "bye");
  return 0;
}
