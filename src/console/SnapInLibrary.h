// One snap-in library, loaded with dlopen, and its four entry points. A
// library that is missing, is no snap-in or speaks another interface version
// gives a clear error text instead of an object.
#pragma once

#include <memory>
#include <string>

#include "sdk/SnapIn.h"

namespace bw::console {

class SnapInLibrary {
 public:
  // Loads `path`; nullptr with `error` set when it cannot be used.
  static std::unique_ptr<SnapInLibrary> Load(const std::string& path, std::string& error);
  ~SnapInLibrary();
  SnapInLibrary(const SnapInLibrary&) = delete;
  SnapInLibrary& operator=(const SnapInLibrary&) = delete;

  const std::string& Path() const { return m_Path; }
  // The entry points; false with `error` set when they report a failure.
  bool Register(std::string& error);
  bool Unregister(std::string& error);
  // A new snap-in object; nullptr with `error` set when the library makes none.
  std::unique_ptr<sdk::SnapIn> Create(std::string& error);

 private:
  SnapInLibrary() = default;

  std::string m_Path;
  void* m_Handle = nullptr;
  sdk::RegisterFunction m_Register = nullptr;
  sdk::UnregisterFunction m_Unregister = nullptr;
  sdk::GetClassObjectFunction m_GetClassObject = nullptr;
  sdk::CanUnloadFunction m_CanUnload = nullptr;
};

}  // namespace bw::console
