// The engine over the bundled signatures: detections by content and by hash, and the cases in
// which libclamav would call a file clean that it did not see whole.
#include "server/engine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace sondrel::server {
namespace {

class MemorySource : public FileSource {
 public:
  explicit MemorySource(std::string content, bool fail = false)
      : content_(std::move(content)), fail_(fail) {}
  int64_t Read(void* buffer, size_t count, uint64_t offset) override {
    if (fail_) {
      return -1;
    }
    if (offset >= content_.size()) {
      return 0;
    }
    const size_t length = std::min<size_t>(count, content_.size() - offset);
    std::memcpy(buffer, content_.data() + offset, length);
    return static_cast<int64_t>(length);
  }
  const std::string& content() const { return content_; }

 private:
  std::string content_;
  bool fail_;
};

const char* const kEicar = "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";

std::shared_ptr<const Engine> Load(EngineLimits limits = {}) {
  std::string error;
  auto engine = Engine::Load({SONDREL_SERVER_SIGNATURES}, limits, error);
  EXPECT_NE(engine, nullptr) << error;
  return engine;
}

EngineResult Scan(const Engine& engine, MemorySource source) {
  return engine.Scan(source, source.content().size(), "sample");
}

TEST(EngineTest, DetectsByContentAndByHash) {
  const auto engine = Load();
  ASSERT_NE(engine, nullptr);
  EXPECT_GE(engine->signatures(), 3u);
  const EngineResult eicar = Scan(*engine, MemorySource(std::string(5000, ' ') + kEicar));
  EXPECT_EQ(eicar.kind, EngineResult::Kind::Infected);
  EXPECT_EQ(eicar.threat.rfind("Sondrel.Test.EICAR", 0), 0u) << eicar.threat;
  const EngineResult hashed =
      Scan(*engine, MemorySource("sondrel test file: detected by its hash\n"));
  EXPECT_EQ(hashed.kind, EngineResult::Kind::Infected);
  EXPECT_EQ(Scan(*engine, MemorySource("nothing here")).kind, EngineResult::Kind::Clean);
  EXPECT_NE(Load()->generation(), engine->generation()) << "every engine has its own generation";
}

TEST(EngineTest, AFileTheEngineCannotSeeWholeIsNeverClean) {
  const auto limited = Load({.maxFileSize = 1000, .maxScanTimeMs = 10000});
  EXPECT_EQ(Scan(*limited, MemorySource(std::string(1000, 'x'))).kind, EngineResult::Kind::Clean);
  ASSERT_NE(limited, nullptr);
  const EngineResult tooLarge = Scan(*limited, MemorySource(std::string(5000, 'x')));
  EXPECT_EQ(tooLarge.kind, EngineResult::Kind::LimitsExceeded) << tooLarge.threat;
  const EngineResult unreadable = Scan(*Load(), MemorySource(std::string(5000, 'x'), true));
  EXPECT_NE(unreadable.kind, EngineResult::Kind::Clean);
}

TEST(EngineTest, ABrokenDatabaseIsRefusedWithItsReason) {
  std::string error;
  EXPECT_EQ(Engine::Load({"/nonexistent/database.ndb"}, {}, error), nullptr);
  EXPECT_NE(error.find("/nonexistent/database.ndb"), std::string::npos) << error;
  EXPECT_EQ(Engine::Load({}, {}, error), nullptr);
}

}  // namespace
}  // namespace sondrel::server
