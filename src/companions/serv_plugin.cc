#include "companions/serv_plugin.h"

namespace sondrel {

void* StartPluginService(ServPluginModule& holder, const std::wstring& path, std::wstring_view name,
                         const Guid& serviceId) {
  if (holder.Load(path, name, kServPluginId) != 0) {
    return nullptr;
  }
  IServPlugin* plugin = holder.interface();
  if (plugin->Initialise(0) != 0) {
    holder.Release();
    return nullptr;
  }
  if (plugin->Start() != 0) {
    plugin->Uninitialise();
    holder.Release();
    return nullptr;
  }
  void* service = plugin->GetService(serviceId);
  if (service == nullptr) {
    plugin->Stop();
    plugin->Uninitialise();
    holder.Release();
  }
  return service;
}

void StopPluginService(ServPluginModule& holder) {
  if (IServPlugin* plugin = holder.interface(); plugin != nullptr) {
    plugin->Stop();
    plugin->Uninitialise();
  }
  holder.Release();
}

}  // namespace sondrel
