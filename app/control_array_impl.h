// Template definitions of ControlArray (included by controls.h).
#pragma once

#include "base/error.h"

namespace actualiz::app {

template <class T>
T& ControlArray<T>::operator()(int index) const {
  for (const auto& [i, control] : members_) {
    if (i == index) return *control;
  }
  throw MakeError(err::kNoSuchControlElement, {std::to_string(index)}, {});
}

template <class T>
void ControlArray<T>::Add(int index, std::unique_ptr<T> control) {
  members_.emplace_back(index, std::move(control));
}

template <class T>
std::vector<T*> ControlArray<T>::Members() const {
  std::vector<T*> out;
  for (const auto& member : members_) out.push_back(member.second.get());
  return out;
}

}  // namespace actualiz::app
