// An IObjectEnumerator over a list of records (any standard sequence container). It is made with
// both of its flags set, so it yields nothing until Reset has been called.
#pragma once

#include <cstdint>

#include "objectmodel/i_object.h"
#include "objectmodel/object_mapping.h"
#include "objectmodel/proxy.h"
#include "objectmodel/result_codes.h"

namespace Kalvix {

template <typename List>
class EnumeratorProxy final : public IObjectEnumerator {
 public:
  using Element = typename List::value_type;

  EnumeratorProxy(List* list, const ObjectMapping<Element>& mapping)
      : current_(nullptr, mapping), list_(list) {}
  EnumeratorProxy(const EnumeratorProxy&) = delete;
  EnumeratorProxy& operator=(const EnumeratorProxy&) = delete;

  int32_t Reset() override {
    beforeFirst_ = true;
    ended_ = false;
    if (list_ != nullptr) {
      position_ = list_->end();
    }
    return kResultOk;
  }

  bool MoveNext() override {
    if (list_ == nullptr || ended_) {
      return false;
    }
    if (beforeFirst_) {
      beforeFirst_ = false;
      position_ = list_->begin();
    } else {
      ++position_;
    }
    if (position_ == list_->end()) {
      ended_ = true;
      return false;
    }
    return true;
  }

  IObject* Current() override {
    if (list_ == nullptr || beforeFirst_ || ended_) {
      return nullptr;
    }
    current_.Attach(&*position_);
    return &current_;
  }

 private:
  Proxy<Element> current_;
  List* list_;
  typename List::iterator position_{};
  bool beforeFirst_ = true;
  bool ended_ = true;
};

}  // namespace Kalvix
