// An IObjectVisitor that fills a list of records: each visited element copies itself into a new
// record appended to the list.
#pragma once

#include <cstdint>

#include "objectmodel/i_object.h"
#include "objectmodel/object_mapping.h"
#include "objectmodel/proxy.h"
#include "objectmodel/result_codes.h"

namespace Kalvix {

template <typename List>
class VisitorProxy final : public IObjectVisitor {
 public:
  using Element = typename List::value_type;

  VisitorProxy(List* list, const ObjectMapping<Element>& mapping)
      : current_(nullptr, mapping), list_(list) {}
  VisitorProxy(const VisitorProxy&) = delete;
  VisitorProxy& operator=(const VisitorProxy&) = delete;

  int32_t Begin() override {
    if (list_ != nullptr) {
      list_->clear();
    }
    return kResultOk;
  }

  // The element's copy result is not looked at: whatever it reported is kept. An exception from
  // the element removes the record appended for it.
  bool Visit(IObject* element) override {
    if (list_ == nullptr || element == nullptr) {
      return false;
    }
    try {
      list_->emplace_back();
    } catch (...) {
      return false;
    }
    current_.Attach(&list_->back());
    try {
      element->CopyTo(&current_);
    } catch (...) {
      list_->pop_back();
      return false;
    }
    return true;
  }

  int32_t End() override { return kResultOk; }

 private:
  Proxy<Element> current_;
  List* list_;
};

}  // namespace Kalvix
