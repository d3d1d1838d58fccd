#include "objectmodel/current_connections.h"

#include <memory>

#include "objectmodel/container_arguments_operation.h"
#include "objectmodel/settings_mapping.h"

namespace Kalvix {
namespace {

ObjectMapping<CurrentConnections> BuildCurrentConnectionsMapping() {
  ObjectMapping<CurrentConnections> mapping(kCurrentConnectionsFirstId, kCurrentConnectionsEndId);
  mapping.Add(kPropConnections,
              std::make_unique<
                  CArgumentsOperation<CurrentConnections, ObjectMapping<sondrel::ServerSettings>,
                                      std::vector<sondrel::ServerSettings>>>(
                  &CurrentConnections::servers, ServerSettingsMapping()));
  return mapping;
}

}  // namespace

const ObjectMapping<CurrentConnections>& CurrentConnectionsMapping() {
  static const ObjectMapping<CurrentConnections> mapping = BuildCurrentConnectionsMapping();
  return mapping;
}

}  // namespace Kalvix
