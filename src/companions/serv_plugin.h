// Bringing a plug-in companion up and down: load it, initialise, start and obtain its service;
// each failing step undoes the steps before it, in reverse order.
#pragma once

#include <string>
#include <string_view>

#include "companions/exported_object.h"
#include "companions/guid.h"
#include "companions/i_serv_plugin.h"

namespace sondrel {

using ServPluginModule = ExportedObject<IServPlugin>;

// The service of a plug-in that is now serving, or null when a step failed (the holder is then
// empty again).
void* StartPluginService(ServPluginModule& holder, const std::wstring& path, std::wstring_view name,
                         const Guid& serviceId);
// Stops, uninitialises and releases a serving plug-in.
void StopPluginService(ServPluginModule& holder);

// Starts the plug-in and stores its service. Answers false without doing anything when the path
// is empty or a service is already held.
template <class Service>
bool StartPlugin(ServPluginModule& holder, Service*& service, const std::wstring& path,
                 std::wstring_view name, const Guid& serviceId) {
  if (path.empty() || service != nullptr) {
    return false;
  }
  service = static_cast<Service*>(StartPluginService(holder, path, name, serviceId));
  return service != nullptr;
}

// When a service is held: forgets it, then stops, uninitialises and releases the plug-in.
template <class Service>
void StopPlugin(ServPluginModule& holder, Service*& service) {
  if (service == nullptr) {
    return;
  }
  service = nullptr;
  StopPluginService(holder);
}

}  // namespace sondrel
