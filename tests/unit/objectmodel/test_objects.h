// Small records, mappings and peers for the object-model tests.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <set>
#include <stdexcept>
#include <utility>
#include <vector>

#include "objectmodel/i_arguments_operation.h"
#include "objectmodel/i_object.h"
#include "objectmodel/object_mapping.h"
#include "objectmodel/result_codes.h"
#include "qx/string_t.h"

namespace Kalvix::test {

struct Identifier {
  uint8_t bytes[16];
  friend bool operator==(const Identifier&, const Identifier&) = default;
};

struct Inner {
  int32_t value = 3;
  qx::StringT label;
  friend bool operator==(const Inner&, const Inner&) = default;
};

struct Sample {
  bool flag = false;
  int32_t count = 0;
  qx::StringT name;
  Identifier id{};
  Inner inner;
  std::list<Inner> items;
};

enum SampleId : uint32_t {
  kSampleFirst = 0x30000,
  kSampleFlag = 0x30001,
  kSampleCount = 0x30002,
  kSampleName = 0x30003,
  kSampleIdentifier = 0x30004,
  kSampleInner = 0x30005,
  kSampleItems = 0x30006,
  kSampleEnd = 0x31000,
  kInnerFirst = 0x31000,
  kInnerValue = 0x31001,
  kInnerLabel = 0x31002,
  kInnerEnd = 0x32000,
};

const std::shared_ptr<const ObjectMapping<Inner>>& InnerMapping();
const ObjectMapping<Sample>& SampleMapping();

// Calls an operation's Set or Get the way a proxy does, with one variable argument.
template <typename T>
int32_t OperationSet(const IArgumentsOperation<T>& operation, T* record, ...) {
  std::va_list args;
  va_start(args, record);
  const int32_t result = operation.Set(record, args);
  va_end(args);
  return result;
}

template <typename T>
int32_t OperationGet(const IArgumentsOperation<T>& operation, T* record, ...) {
  std::va_list args;
  va_start(args, record);
  const int32_t result = operation.Get(record, args);
  va_end(args);
  return result;
}

// A target that accepts the ids it was given and refuses every other with 4306; it remembers
// every id offered to it.
class SelectiveTarget final : public IObject {
 public:
  explicit SelectiveTarget(std::set<uint32_t> accepted = {}) : accepted_(std::move(accepted)) {}
  int32_t Set(uint32_t id, ...) override {
    offered.push_back(id);
    return accepted_.count(id) != 0 ? kResultOk : kResultNotFound;
  }
  int32_t Get(uint32_t /*id*/, ...) override { return kResultNotSupported; }
  int32_t CopyTo(IObject* /*target*/) override { return kResultNotSupported; }
  int32_t GetVersion() override { return 1; }

  std::vector<uint32_t> offered;

 private:
  std::set<uint32_t> accepted_;
};

// An object that reports what the test says to every target it copies itself into, then answers
// `copyResult`; its Get answers `getResult` and its Set 4306.
class ScriptedSource final : public IObject {
 public:
  explicit ScriptedSource(std::function<void(IObject*)> report = {}, int32_t copyResult = kResultOk,
                          int32_t getResult = kResultIdOutOfRange)
      : report_(std::move(report)), copyResult_(copyResult), getResult_(getResult) {}
  int32_t Set(uint32_t /*id*/, ...) override { return kResultNotFound; }
  int32_t Get(uint32_t /*id*/, ...) override { return getResult_; }
  int32_t CopyTo(IObject* target) override {
    if (report_) {
      report_(target);
    }
    return copyResult_;
  }
  int32_t GetVersion() override { return 1; }

 private:
  std::function<void(IObject*)> report_;
  int32_t copyResult_;
  int32_t getResult_;
};

// An element whose copy throws.
class ThrowingObject final : public IObject {
 public:
  int32_t Set(uint32_t /*id*/, ...) override { return kResultNotSupported; }
  int32_t Get(uint32_t /*id*/, ...) override { return kResultNotSupported; }
  int32_t CopyTo(IObject* /*target*/) override { throw std::runtime_error("element broke"); }
  int32_t GetVersion() override { return 1; }
};

// An enumerator over given objects, which may be of any record type (or null).
class ObjectListEnumerator final : public IObjectEnumerator {
 public:
  explicit ObjectListEnumerator(std::vector<IObject*> objects) : objects_(std::move(objects)) {}
  int32_t Reset() override {
    next_ = 0;
    current_ = nullptr;
    return kResultOk;
  }
  bool MoveNext() override {
    if (next_ >= objects_.size()) {
      current_ = nullptr;
      return false;
    }
    current_ = objects_[next_++];
    return true;
  }
  IObject* Current() override { return current_; }

 private:
  std::vector<IObject*> objects_;
  size_t next_ = 0;
  IObject* current_ = nullptr;
};

}  // namespace Kalvix::test
