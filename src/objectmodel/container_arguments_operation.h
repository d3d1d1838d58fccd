// The operation of a list member: Set fills the list from an IObjectEnumerator, Get writes it to
// an IObjectVisitor, Report hands the target an enumerator over the list.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>

#include "objectmodel/enumerator_proxy.h"
#include "objectmodel/i_arguments_operation.h"
#include "objectmodel/i_object.h"
#include "objectmodel/object_mapping.h"
#include "objectmodel/proxy.h"
#include "objectmodel/result_codes.h"

namespace Kalvix {

template <typename T, typename Mapping, typename List>
class CArgumentsOperation final : public IArgumentsOperation<T> {
  using Element = typename List::value_type;
  static_assert(std::is_same_v<Mapping, ObjectMapping<Element>>,
                "the element mapping serves the list's element type");

 public:
  CArgumentsOperation(List T::*member, std::shared_ptr<const Mapping> elements)
      : member_(member), elements_(std::move(elements)) {}

  // Each element the source yields is appended with its built-in defaults and then copies itself
  // into it. An element that cannot be copied stops the fill with 4316; what was appended up to
  // and including it stays. The list is built aside and replaces the member at the end, so a
  // source enumerating this very list still sees it whole.
  int32_t Set(T* record, std::va_list args) const override {
    IObjectEnumerator* source = va_arg(args, IObjectEnumerator*);
    if (record == nullptr || source == nullptr) {
      return kResultNotFound;
    }
    List filled;
    const int32_t result = Fill(filled, *source);
    record->*member_ = std::move(filled);
    return result;
  }

  // The visitor's answers are not looked at.
  int32_t Get(T* record, std::va_list args) const override {
    IObjectVisitor* destination = va_arg(args, IObjectVisitor*);
    if (record == nullptr || destination == nullptr) {
      return kResultNotFound;
    }
    destination->Begin();
    Proxy<Element> element(nullptr, *elements_);
    for (Element& each : record->*member_) {
      element.Attach(&each);
      destination->Visit(&element);
    }
    destination->End();
    return kResultOk;
  }

  int32_t Report(T* record, IObject* target, uint32_t id) const override {
    if (record == nullptr || target == nullptr) {
      return kResultNotFound;
    }
    EnumeratorProxy<List> list(&(record->*member_), *elements_);
    return target->Set(id, static_cast<IObjectEnumerator*>(&list));
  }

  int32_t TypeCode() const override { return kTypeCodeRecord; }

 private:
  int32_t Fill(List& list, IObjectEnumerator& source) const {
    source.Reset();
    Proxy<Element> element(nullptr, *elements_);
    while (source.MoveNext()) {
      list.emplace_back();
      element.Attach(&list.back());
      IObject* current = source.Current();
      if (current == nullptr || !CopySucceeded(current->CopyTo(&element))) {
        return kResultFillFailed;
      }
    }
    return kResultOk;
  }

  List T::*member_;
  std::shared_ptr<const Mapping> elements_;
};

}  // namespace Kalvix
