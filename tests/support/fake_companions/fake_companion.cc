// FakeCompanion.so: one object whose behaviour its name chooses, recording every call it gets
// (and its own loading and unloading) in the shared call record.
//
//   "CreateFails"     QxCreateObject answers kCreateFailure
//   "NullInterface"   answers null to every interface query
//   "InitFails"       the plug-in's initialise answers 1
//   "StartFails"      the plug-in's start answers 2
//   "NoService"       the plug-in's get-service answers null
//   any other name    a working plug-in (serving the internal monitor client service) and a
//                     monitor receiver
#include <cstdint>
#include <string>

#include "companions/companion_factory.h"
#include "companions/i_internal_monitor_client.h"
#include "companions/i_monitor_receiver.h"
#include "companions/i_serv_plugin.h"
#include "fake_companions/companion_calls.h"

namespace sondrel::test {
namespace {

constexpr int32_t kCreateFailure = 5;

std::string Narrow(const wchar_t* text) {
  std::string narrow;
  for (; text != nullptr && *text != 0; ++text) {
    narrow.push_back(static_cast<char>(*text));
  }
  return narrow;
}

std::string EventName(uint32_t event) {
  constexpr char kDigits[] = "0123456789abcdef";
  std::string name = "0x";
  for (int shift = 16; shift >= 0; shift -= 4) {
    name.push_back(kDigits[(event >> shift) & 0xF]);
  }
  return name;
}

class FakeMonitorClient final : public IInternalMonitorClient {
 public:
  virtual ~FakeMonitorClient() = default;
  void ReservedSlot0() override { RecordCompanionCall("monitor client slot 0"); }
  int32_t Notify(uint32_t event, Kalvix::IObject* object) override {
    RecordCompanionCall("notify " + EventName(event) + (object != nullptr ? " object" : " none"));
    return 0;
  }
};

class FakePlugin final : public IServPlugin {
 public:
  explicit FakePlugin(const std::string& name) : name_(name) {}
  virtual ~FakePlugin() = default;

  void* GetService(Guid serviceId) override {
    RecordCompanionCall("get service");
    if (name_ == "NoService" || serviceId != kInternalMonitorServiceId) {
      return nullptr;
    }
    return static_cast<IInternalMonitorClient*>(&client_);
  }
  int32_t Initialise(int32_t argument) override {
    RecordCompanionCall("initialise " + std::to_string(argument));
    return name_ == "InitFails" ? 1 : 0;
  }
  void Uninitialise() override { RecordCompanionCall("uninitialise"); }
  int32_t Start() override {
    RecordCompanionCall("start");
    return name_ == "StartFails" ? 2 : 0;
  }
  void Stop() override { RecordCompanionCall("stop"); }

 private:
  std::string name_;
  FakeMonitorClient client_;
};

class FakeReceiver final : public IMonitorReceiver {
 public:
  virtual ~FakeReceiver() = default;
  void ReservedSlot0() override { RecordCompanionCall("receiver slot 0"); }
  void ReservedSlot1() override { RecordCompanionCall("receiver slot 1"); }
  void ReservedSlot2() override { RecordCompanionCall("receiver slot 2"); }
  void ReservedSlot3() override { RecordCompanionCall("receiver slot 3"); }
  void CanScanRemoteChanged(bool canScanRemote) override {
    RecordCompanionCall(std::string("can scan remote ") + (canScanRemote ? "true" : "false"));
  }
  void Register(ISondrelEvents* client) override {
    RecordCompanionCall(std::string("register ") + (client != nullptr ? "client" : "null"));
  }
};

class FakeObject final : public ICompanionObject {
 public:
  explicit FakeObject(const std::string& name) : name_(name), plugin_(name) {}
  virtual ~FakeObject() = default;

  void* QueryInterface(Guid interfaceId) override {
    RecordCompanionCall("query");
    if (name_ == "NullInterface") {
      return nullptr;
    }
    if (interfaceId == kServPluginId) {
      return static_cast<IServPlugin*>(&plugin_);
    }
    if (interfaceId == kMonitorReceiverId) {
      return static_cast<IMonitorReceiver*>(&receiver_);
    }
    return nullptr;
  }

 private:
  std::string name_;
  FakePlugin plugin_;
  FakeReceiver receiver_;
};

__attribute__((constructor)) void OnLoad() {
  RecordCompanionCall("load");
}

__attribute__((destructor)) void OnUnload() {
  RecordCompanionCall("unload");
}

}  // namespace
}  // namespace sondrel::test

SONDREL_COMPANION_EXPORT int32_t QxCreateObject(const wchar_t* name, sondrel::Guid classId,
                                                sondrel::ICompanionObject** object) {
  using sondrel::test::RecordCompanionCall;
  const std::string narrow = sondrel::test::Narrow(name);
  RecordCompanionCall("create " + narrow +
                      (classId == sondrel::kCompanionClassId ? "" : " with a foreign class"));
  if (narrow == "CreateFails") {
    return sondrel::test::kCreateFailure;
  }
  *object = new sondrel::test::FakeObject(narrow);
  return 0;
}

SONDREL_COMPANION_EXPORT void QxDestroyObject(const wchar_t* name,
                                              sondrel::ICompanionObject* object) {
  sondrel::test::RecordCompanionCall("destroy " + sondrel::test::Narrow(name));
  delete static_cast<sondrel::test::FakeObject*>(object);
}
