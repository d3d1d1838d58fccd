// An IObject over one record: a pointer to the record (may be null) and to its mapping, owning
// neither. Proxies live on the stack for one call; the IObject pointer handed out is valid only
// during that call.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "objectmodel/i_object.h"
#include "objectmodel/object_mapping.h"
#include "objectmodel/result_codes.h"

namespace Kalvix {

template <typename T>
class Proxy final : public IObject {
 public:
  Proxy(T* record, const ObjectMapping<T>& mapping) : record_(record), mapping_(&mapping) {}
  Proxy(const Proxy&) = delete;
  Proxy& operator=(const Proxy&) = delete;

  // Points the proxy at another record.
  void Attach(T* record) { record_ = record; }

  int32_t Set(uint32_t id, ...) override {
    std::va_list args;
    va_start(args, id);
    const int32_t result = mapping_->Set(record_, id, args);
    va_end(args);
    return result;
  }

  int32_t Get(uint32_t id, ...) override {
    std::va_list args;
    va_start(args, id);
    const int32_t result = mapping_->Get(record_, id, args);
    va_end(args);
    return result;
  }

  int32_t CopyTo(IObject* target) override { return mapping_->CopyTo(record_, target); }
  int32_t GetVersion() override { return mapping_->Version(); }

 private:
  T* record_;
  const ObjectMapping<T>* mapping_;
};

// A proxy over a record it must not change (events): Set is refused whatever the mapping says;
// Get and CopyTo read the record through the same operations.
template <typename T>
class Proxy<const T> final : public IObject {
 public:
  Proxy(const T* record, const ObjectMapping<T>& mapping) : record_(record), mapping_(&mapping) {}
  Proxy(const Proxy&) = delete;
  Proxy& operator=(const Proxy&) = delete;

  int32_t Set(uint32_t /*id*/, ...) override {
    return record_ == nullptr ? kResultNotFound : kResultReadOnly;
  }

  int32_t Get(uint32_t id, ...) override {
    std::va_list args;
    va_start(args, id);
    const int32_t result = mapping_->Get(Writable(), id, args);
    va_end(args);
    return result;
  }

  int32_t CopyTo(IObject* target) override { return mapping_->CopyTo(Writable(), target); }
  int32_t GetVersion() override { return mapping_->Version(); }

 private:
  // The operations take a mutable record because Set shares their interface; Get and Report
  // only read it.
  T* Writable() const { return const_cast<T*>(record_); }

  const T* record_;
  const ObjectMapping<T>* mapping_;
};

}  // namespace Kalvix
