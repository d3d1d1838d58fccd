#include <gtest/gtest.h>

#include <cstdint>
#include <list>
#include <memory>
#include <vector>

#include "config/server_settings.h"
#include "config/settings.h"
#include "config/settings_property_ids.h"
#include "objectmodel/arguments_operation.h"
#include "objectmodel/enumerator_proxy.h"
#include "objectmodel/proxy.h"
#include "objectmodel/result_codes.h"
#include "objectmodel/settings_mapping.h"
#include "objectmodel/visitor_proxy.h"
#include "qx/string_t.h"
#include "test_objects.h"

namespace Kalvix::test {
namespace {

using sondrel::ServerSettings;
using sondrel::Settings;

ServerSettings Server(const wchar_t* address, int32_t port) {
  ServerSettings server;
  server.address = address;
  server.port = port;
  server.useSSL = true;
  server.priority = 4;
  server.enforced = true;
  server.nodeid = L"node";
  return server;
}

TEST(ContainerOperationTest, FillsTheListFromAnEnumerator) {
  std::vector<ServerSettings> source = {Server(L"a.example", 7083), Server(L"b.example", 9)};
  EnumeratorProxy<std::vector<ServerSettings>> enumerator(&source, *ServerSettingsMapping());
  Settings record;
  record.servers = {ServerSettings(), ServerSettings(), ServerSettings()};
  Proxy<Settings> proxy(&record, SettingsMapping());
  EXPECT_EQ(proxy.Set(sondrel::kPropServers, static_cast<IObjectEnumerator*>(&enumerator)),
            kResultOk);
  EXPECT_EQ(record.servers, source);
}

// The second element is a record of another type: none of its properties is a ServerSettings
// property, so its copy returns 232 and the fill stops there.
TEST(ContainerOperationTest, AnElementThatCannotBeCopiedStopsTheFillWith4316) {
  ServerSettings first = Server(L"first.example", 7081);
  Proxy<ServerSettings> good(&first, *ServerSettingsMapping());
  Sample foreign;
  foreign.count = 12;
  Proxy<Sample> unacceptable(&foreign, SampleMapping());
  ServerSettings third = Server(L"third.example", 1);
  Proxy<ServerSettings> never(&third, *ServerSettingsMapping());
  ObjectListEnumerator enumerator({&good, &unacceptable, &never});

  Settings record;
  Proxy<Settings> proxy(&record, SettingsMapping());
  EXPECT_EQ(proxy.Set(sondrel::kPropServers, static_cast<IObjectEnumerator*>(&enumerator)),
            kResultFillFailed);
  ASSERT_EQ(record.servers.size(), 2u);
  EXPECT_EQ(record.servers[0], first);
  EXPECT_EQ(record.servers[1], ServerSettings());
}

TEST(ContainerOperationTest, AMissingCurrentElementStopsTheFill) {
  ObjectListEnumerator enumerator({nullptr});
  Sample record;
  Proxy<Sample> proxy(&record, SampleMapping());
  EXPECT_EQ(proxy.Set(kSampleItems, static_cast<IObjectEnumerator*>(&enumerator)),
            kResultFillFailed);
  EXPECT_EQ(record.items, std::list<Inner>{Inner{}});
}

TEST(ContainerOperationTest, WritesTheListToAVisitor) {
  Settings record;
  record.servers = {Server(L"one", 1), Server(L"two", 2)};
  std::vector<ServerSettings> received = {ServerSettings()};
  VisitorProxy<std::vector<ServerSettings>> visitor(&received, *ServerSettingsMapping());
  Proxy<Settings> proxy(&record, SettingsMapping());
  EXPECT_EQ(proxy.Get(sondrel::kPropServers, static_cast<IObjectVisitor*>(&visitor)), kResultOk);
  EXPECT_EQ(received, record.servers);
}

// A record copied onto itself keeps its list: the enumerator over the list is read before the
// list is replaced.
TEST(ContainerOperationTest, CopyingARecordOntoItselfKeepsItsList) {
  Settings record;
  record.servers = {Server(L"one", 1), Server(L"two", 2)};
  const Settings before = record;
  Proxy<Settings> from(&record, SettingsMapping());
  Proxy<Settings> to(&record, SettingsMapping());
  EXPECT_EQ(from.CopyTo(&to), 0);
  EXPECT_EQ(record, before);
}

TEST(StructureOperationTest, ReplacesTheMemberOnlyWhenTheSourceCouldBeRead) {
  Sample record;
  record.inner = Inner{1, L"old"};
  Proxy<Sample> proxy(&record, SampleMapping());

  // A source that reports only the label: the value is that of a freshly built record.
  Inner label{77, L"new"};
  ObjectMapping<Inner> labelOnly(kInnerFirst, kInnerEnd);
  labelOnly.Add(kInnerLabel,
                std::make_unique<ArgumentsOperation<Inner, qx::StringT>>(&Inner::label));
  Proxy<Inner> partialSource(&label, labelOnly);
  EXPECT_EQ(proxy.Set(kSampleInner, static_cast<IObject*>(&partialSource)), kResultOk);
  EXPECT_EQ(record.inner, (Inner{3, L"new"}));

  Sample foreign;
  Proxy<Sample> unreadable(&foreign, SampleMapping());
  EXPECT_EQ(proxy.Set(kSampleInner, static_cast<IObject*>(&unreadable)), kResultFillFailed);
  EXPECT_EQ(record.inner, (Inner{3, L"new"}));
}

TEST(StructureOperationTest, CopiesTheMemberToADestination) {
  Sample record;
  record.inner = Inner{5, L"five"};
  Proxy<Sample> proxy(&record, SampleMapping());

  Inner out;
  Proxy<Inner> destination(&out, *InnerMapping());
  EXPECT_EQ(proxy.Get(kSampleInner, static_cast<IObject*>(&destination)), kResultOk);
  EXPECT_EQ(out, record.inner);

  SelectiveTarget onlyValue({kInnerValue});
  EXPECT_EQ(proxy.Get(kSampleInner, static_cast<IObject*>(&onlyValue)), kResultOk);
  SelectiveTarget nothing;
  EXPECT_EQ(proxy.Get(kSampleInner, static_cast<IObject*>(&nothing)), kResultFillFailed);
}

}  // namespace
}  // namespace Kalvix::test
