// The option record: what each code stores, what is refused, the hello payload's copy, and that
// stored options take effect only when applied.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "comm/comm_client_options.h"
#include "comm/sock_comm_client.h"

namespace sondrel::test {
namespace {

void Handler(const CommMessagePtr&, void*, void*) {}
void Availability(bool, int32_t, void*) {}
bool BestChanged(void*) {
  return true;
}
bool Gone(void*, const ServerIdentity*) {
  return true;
}

int32_t Store(CommClientOptions& options, int32_t code, int32_t value) {
  return StoreOption(options, code, &value);
}

TEST(CommClientOptionsTest, DefaultsAreTheDocumentedOnes) {
  const CommClientOptions options;
  EXPECT_EQ(options.compressionLevel, 0);
  EXPECT_EQ(options.compressionMinBytes, 0xFFFFFFFFu);
  EXPECT_EQ(options.helloLength, 0u);
  EXPECT_EQ(options.minServerConnections, 1);
  EXPECT_EQ(options.maxServerConnections, 5);
  EXPECT_EQ(options.reconnectInterval, 5);
  EXPECT_EQ(options.requestTimeoutMs, 30000);
  EXPECT_EQ(options.socketTimeoutMs, 0);
  EXPECT_EQ(options.latencyTimeoutUs, 50000u);
  EXPECT_TRUE(options.enableScan);
  EXPECT_FALSE(options.poolMode);
  EXPECT_FALSE(options.connectAsync);
  EXPECT_FALSE(options.acceptConnectSameServer);
  EXPECT_FALSE(options.detectLatency);
  EXPECT_FALSE(options.tls.Configured());
  EXPECT_TRUE(options.tls.verifyHost);
}

TEST(CommClientOptionsTest, NumberCodesStoreTheirField) {
  struct Case {
    int32_t code;
    int32_t value;
    int64_t (*read)(const CommClientOptions&);
  };
  const Case cases[] = {
      {13, 1, [](const CommClientOptions& o) -> int64_t { return o.syncSessions; }},
      {14, 9, [](const CommClientOptions& o) -> int64_t { return o.compressionLevel; }},
      {15, 512, [](const CommClientOptions& o) -> int64_t { return o.compressionMinBytes; }},
      {17, 292, [](const CommClientOptions& o) -> int64_t { return o.helloLength; }},
      {19, 7, [](const CommClientOptions& o) -> int64_t { return o.connectAsync; }},
      {26, 11, [](const CommClientOptions& o) -> int64_t { return o.overloadedLimit; }},
      {27, 12, [](const CommClientOptions& o) -> int64_t { return o.underloadedLimit; }},
      {28, 3, [](const CommClientOptions& o) -> int64_t { return o.minServerConnections; }},
      {29, 4, [](const CommClientOptions& o) -> int64_t { return o.maxServerConnections; }},
      {30, 1, [](const CommClientOptions& o) -> int64_t { return o.acceptConnectSameServer; }},
      {31, -2, [](const CommClientOptions& o) -> int64_t { return o.reconnectInterval; }},
      {32, 1500, [](const CommClientOptions& o) -> int64_t { return o.requestTimeoutMs; }},
      {36, 700, [](const CommClientOptions& o) -> int64_t { return o.socketTimeoutMs; }},
      {37, 1, [](const CommClientOptions& o) -> int64_t { return o.poolMode; }},
      {40, 0, [](const CommClientOptions& o) -> int64_t { return o.enableScan; }},
      {41, 1, [](const CommClientOptions& o) -> int64_t { return o.detectLatency; }},
      {42, 1, [](const CommClientOptions& o) -> int64_t { return o.scanLocalIfError; }},
      {43, 80000, [](const CommClientOptions& o) -> int64_t { return o.latencyTimeoutUs; }},
      {46, 0, [](const CommClientOptions& o) -> int64_t { return o.tls.verifyHost; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    CommClientOptions options;
    ASSERT_EQ(Store(options, c.code, c.value), OptionResult::Stored);
    // Booleans store whether the value is non-zero.
    const int64_t expected = (c.code == 13 || c.code == 19 || c.code == 30 || c.code == 37 ||
                              c.code == 40 || c.code == 41 || c.code == 42 || c.code == 46)
                                 ? (c.value != 0)
                                 : c.value;
    EXPECT_EQ(c.read(options), expected);
  }
}

TEST(CommClientOptionsTest, TextsServersAndPointersAreCopied) {
  CommClientOptions options;
  std::string host = "scan1.example";
  EXPECT_EQ(StoreOption(options, 4, host.c_str()), 0);
  host[0] = 'X';
  EXPECT_EQ(options.host, "scan1.example");
  EXPECT_EQ(StoreOption(options, 5, "4443"), 0);
  EXPECT_EQ(StoreOption(options, 20, "free text"), 0);
  EXPECT_EQ(StoreOption(options, 22, "eu"), 0);
  EXPECT_EQ(options.port, "4443");
  EXPECT_EQ(options.text, "free text");
  EXPECT_EQ(options.region, "eu");
  EXPECT_EQ(StoreOption(options, 44, "ca.pem"), 0);
  EXPECT_EQ(StoreOption(options, 45, "certs"), 0);
  EXPECT_EQ(StoreOption(options, 47, "aa:bb"), 0);
  EXPECT_EQ(StoreOption(options, 48, "client.pem"), 0);
  EXPECT_EQ(StoreOption(options, 49, "client.key"), 0);
  EXPECT_EQ(options.tls,
            (TlsSettings{"ca.pem", "certs", true, "aa:bb", "client.pem", "client.key"}));

  std::vector<CommServerEntry> servers(2);
  servers[1].address = "b";
  EXPECT_EQ(StoreOption(options, 21, &servers), 0);
  servers.clear();
  ASSERT_EQ(options.servers.size(), 2u);
  EXPECT_EQ(options.servers[1].address, "b");

  int context = 0;
  EXPECT_EQ(StoreOption(options, 9, reinterpret_cast<const void*>(&Handler)), 0);
  EXPECT_EQ(StoreOption(options, 10, reinterpret_cast<const void*>(&Availability)), 0);
  EXPECT_EQ(StoreOption(options, 11, reinterpret_cast<const void*>(&BestChanged)), 0);
  EXPECT_EQ(StoreOption(options, 12, &context), 0);
  EXPECT_EQ(StoreOption(options, 38, reinterpret_cast<const void*>(&Gone)), 0);
  EXPECT_EQ(StoreOption(options, 39, &context), 0);
  EXPECT_EQ(options.helloCallback, &Handler);
  EXPECT_EQ(options.availabilityCallback, &Availability);
  EXPECT_EQ(options.bestChangedCallback, &BestChanged);
  EXPECT_EQ(options.serverGoneCallback, &Gone);
  EXPECT_EQ(options.callbackContext, &context);
  EXPECT_EQ(options.serverGoneContext, &context);
  // Contexts and the server-gone function may be null.
  EXPECT_EQ(StoreOption(options, 12, nullptr), 0);
  EXPECT_EQ(StoreOption(options, 38, nullptr), 0);
  EXPECT_EQ(options.callbackContext, nullptr);
  EXPECT_EQ(options.serverGoneCallback, nullptr);
}

TEST(CommClientOptionsTest, UnknownCodesAndMissingValuesAreRefused) {
  CommClientOptions options;
  ASSERT_EQ(StoreOption(options, 10, reinterpret_cast<const void*>(&Availability)), 0);
  // A null callback for 9, 10 or 11 leaves the previous one.
  EXPECT_EQ(StoreOption(options, 9, nullptr), 2);
  EXPECT_EQ(StoreOption(options, 10, nullptr), 2);
  EXPECT_EQ(StoreOption(options, 11, nullptr), 2);
  EXPECT_EQ(options.availabilityCallback, &Availability);
  // A code that needs a value does not read through a null pointer.
  EXPECT_EQ(StoreOption(options, 28, nullptr), 2);
  EXPECT_EQ(StoreOption(options, 21, nullptr), 2);
  EXPECT_EQ(StoreOption(options, 4, nullptr), 2);
  EXPECT_EQ(options.minServerConnections, 1);

  for (const int32_t code : {-1, 0, 1, 3, 6, 7, 8, 18, 23, 24, 25, 33, 34, 35, 50, 1000}) {
    SCOPED_TRACE(code);
    const int32_t value = 1;
    EXPECT_EQ(StoreOption(options, code, &value), 1);
    EXPECT_EQ(StoreOption(options, code, nullptr), 1);
  }
}

TEST(CommClientOptionsTest, HelloPayloadCopiesTheLengthSetBeforeIt) {
  std::vector<uint8_t> record(292);
  for (size_t i = 0; i < record.size(); ++i) {
    record[i] = static_cast<uint8_t>(i + 1);
  }

  CommClientOptions lengthFirst;
  ASSERT_EQ(Store(lengthFirst, 17, 292), 0);
  ASSERT_EQ(StoreOption(lengthFirst, 16, record.data()), 0);
  record[0] = 0xEE;
  ASSERT_NE(lengthFirst.helloPayload, nullptr);
  EXPECT_EQ(lengthFirst.helloPayload->size(), 292u);
  EXPECT_EQ((*lengthFirst.helloPayload)[0], 1);
  EXPECT_EQ(lengthFirst.HelloForSession().size(), 292u);
  EXPECT_EQ(lengthFirst.HelloForSession()[291], record[291]);

  CommClientOptions payloadFirst;
  ASSERT_EQ(StoreOption(payloadFirst, 16, record.data()), 0);
  ASSERT_EQ(Store(payloadFirst, 17, 292), 0);
  ASSERT_NE(payloadFirst.helloPayload, nullptr);
  EXPECT_TRUE(payloadFirst.helloPayload->empty());
  // A session's hello has the length in effect and never reads past the bytes that were copied.
  EXPECT_EQ(payloadFirst.HelloForSession(), std::vector<uint8_t>(292, 0));

  CommClientOptions none;
  EXPECT_EQ(StoreOption(none, 16, nullptr), 0);
  EXPECT_TRUE(none.HelloForSession().empty());
}

TEST(CommClientOptionsTest, StoredOptionsTakeEffectOnlyWhenApplied) {
  SockCommClient client;
  const int32_t four = 4;
  ASSERT_EQ(client.SetOption(29, &four), 0);
  ASSERT_EQ(client.SetOption(22, "eu"), 0);
  EXPECT_EQ(client.ActiveOptions().maxServerConnections, 5);
  EXPECT_EQ(client.ActiveOptions().region, "");
  EXPECT_EQ(client.SetOption(7, &four), 1);
  ASSERT_EQ(client.ApplyOptions(), 0);
  EXPECT_EQ(client.ActiveOptions().maxServerConnections, 4);
  EXPECT_EQ(client.ActiveOptions().region, "eu");
}

}  // namespace
}  // namespace sondrel::test
