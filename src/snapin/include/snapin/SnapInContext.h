// What the parts of the snap-in share: the console host, the registered
// servers (made when the server group node is initialised) and small helpers
// for tags and the busy pointer. Owned by SnapIn1.
#pragma once

#include <any>
#include <memory>
#include <string>

#include "sdk/Host.h"
#include "sdk/Results.h"
#include "sdk/Scope.h"
#include "servers/Servers.h"

namespace bw::snapin {

struct SnapInContext {
  sdk::Host* host = nullptr;
  std::unique_ptr<Servers> m_Servers;
};

// The object of class T a tag holds, or nullptr for an empty tag or another
// class.
template <class T>
T* TagAs(const sdk::Tag& tag) {
  if (const auto* object = std::any_cast<T*>(&tag)) return *object;
  return nullptr;
}

// The busy pointer for the life of the object.
class BusyPointer {
 public:
  explicit BusyPointer(sdk::Host* host) : m_Host(host) {
    if (m_Host != nullptr) m_Host->SetBusy(true);
  }
  ~BusyPointer() {
    if (m_Host != nullptr) m_Host->SetBusy(false);
  }
  BusyPointer(const BusyPointer&) = delete;
  BusyPointer& operator=(const BusyPointer&) = delete;

 private:
  sdk::Host* m_Host;
};

}  // namespace bw::snapin
