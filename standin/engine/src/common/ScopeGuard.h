// Runs a function when its scope ends, however it ends, unless dismissed:
// state a statement changes for a while comes back on every way out, an
// exception included. The function must not throw.
#pragma once

#include <utility>

namespace standin::engine {

template <typename Function>
class ScopeGuard {
 public:
  explicit ScopeGuard(Function function) : m_Function(std::move(function)) {}
  ~ScopeGuard() {
    if (m_Active) m_Function();
  }
  ScopeGuard(const ScopeGuard&) = delete;
  ScopeGuard& operator=(const ScopeGuard&) = delete;

  // The scope ended as planned: nothing to undo.
  void Dismiss() { m_Active = false; }

 private:
  Function m_Function;
  bool m_Active = true;
};

}  // namespace standin::engine
