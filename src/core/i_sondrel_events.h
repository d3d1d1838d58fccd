// What the monitor receiver may ask of the client it was registered with.
#pragma once

namespace sondrel {

class ISondrelEvents {
 public:
  virtual ~ISondrelEvents() = default;
  // Reads the settings file again and puts its server list into effect.
  virtual void ReloadScanServer() = 0;
};

}  // namespace sondrel
