// The property table of one record type: which operation serves which id, the id range, the
// version and whether Set is allowed. A mapping is built once by its owner and never changed
// afterwards, so it is read without locks.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <utility>

#include "objectmodel/i_arguments_operation.h"
#include "objectmodel/i_object.h"
#include "objectmodel/result_codes.h"

namespace Kalvix {

inline constexpr int32_t kMappingVersion = 1;

template <typename T>
class ObjectMapping {
 public:
  using Operation = IArgumentsOperation<T>;

  // Ids from firstId (included, not itself a property) to endId (excluded).
  ObjectMapping(uint32_t firstId, uint32_t endId, bool readOnly = false)
      : firstId_(firstId), endId_(endId), readOnly_(readOnly) {}

  // Building a mapping with an id outside its range or twice the same id is a programming error.
  ObjectMapping& Add(uint32_t id, std::unique_ptr<const Operation> operation) {
    if (id <= firstId_ || id >= endId_) {
      throw std::logic_error("object mapping: property id outside the record's range");
    }
    if (!operations_.emplace(id, std::move(operation)).second) {
      throw std::logic_error("object mapping: property id bound twice");
    }
    return *this;
  }

  int32_t Set(T* record, uint32_t id, std::va_list args) const {
    if (record == nullptr) {
      return kResultNotFound;
    }
    if (readOnly_) {
      return kResultReadOnly;
    }
    const Operation* operation = nullptr;
    const int32_t found = Lookup(id, operation);
    return found != kResultOk ? found : operation->Set(record, args);
  }

  int32_t Get(T* record, uint32_t id, std::va_list args) const {
    if (record == nullptr) {
      return kResultNotFound;
    }
    const Operation* operation = nullptr;
    const int32_t found = Lookup(id, operation);
    return found != kResultOk ? found : operation->Get(record, args);
  }

  // Reports every property in ascending id order: 232 when the target accepted none, otherwise
  // 0 less the number it refused.
  int32_t CopyTo(T* record, IObject* target) const {
    if (record == nullptr || target == nullptr) {
      return kResultNotFound;
    }
    const auto count = static_cast<int32_t>(operations_.size());
    int32_t refused = count;
    for (const auto& [id, operation] : operations_) {
      if (operation->Report(record, target, id) == kResultOk) {
        --refused;
      }
    }
    return refused == count ? kResultNothingCopied : -refused;
  }

  // Null when no operation serves the id.
  const Operation* Find(uint32_t id) const {
    const auto it = operations_.find(id);
    return it == operations_.end() ? nullptr : it->second.get();
  }

  size_t Size() const { return operations_.size(); }
  bool IsReadOnly() const { return readOnly_; }
  int32_t Version() const { return kMappingVersion; }

 private:
  int32_t Lookup(uint32_t id, const Operation*& operation) const {
    if (id < firstId_ || id >= endId_) {
      return kResultIdOutOfRange;
    }
    operation = Find(id);
    return operation == nullptr ? kResultNotFound : kResultOk;
  }

  uint32_t firstId_;
  uint32_t endId_;
  bool readOnly_;
  std::map<uint32_t, std::unique_ptr<const Operation>> operations_;
};

}  // namespace Kalvix
