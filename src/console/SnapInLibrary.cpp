#include "SnapInLibrary.h"

#include <dlfcn.h>

#include <filesystem>

namespace bw::console {

std::unique_ptr<SnapInLibrary> SnapInLibrary::Load(const std::string& path, std::string& error) {
  std::error_code ignored;
  if (!std::filesystem::is_regular_file(path, ignored)) {
    error = "The snap-in library " + path + " does not exist.";
    return nullptr;
  }
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = ::dlerror();
    error = "The snap-in library " + path + " could not be loaded: " + (why ? why : "unknown");
    return nullptr;
  }
  std::unique_ptr<SnapInLibrary> library(new SnapInLibrary());
  library->m_Path = path;
  library->m_Handle = handle;
  library->m_Register =
      reinterpret_cast<sdk::RegisterFunction>(::dlsym(handle, sdk::kRegisterEntry));
  library->m_Unregister =
      reinterpret_cast<sdk::UnregisterFunction>(::dlsym(handle, sdk::kUnregisterEntry));
  library->m_GetClassObject =
      reinterpret_cast<sdk::GetClassObjectFunction>(::dlsym(handle, sdk::kGetClassObjectEntry));
  library->m_CanUnload =
      reinterpret_cast<sdk::CanUnloadFunction>(::dlsym(handle, sdk::kCanUnloadEntry));
  if (library->m_Register == nullptr || library->m_Unregister == nullptr ||
      library->m_GetClassObject == nullptr || library->m_CanUnload == nullptr) {
    error = "The library " + path + " is not a console snap-in (its entry points are missing).";
    return nullptr;
  }
  return library;
}

SnapInLibrary::~SnapInLibrary() {
  // A library whose objects still live must stay mapped.
  if (m_Handle != nullptr && (m_CanUnload == nullptr || m_CanUnload() == 0)) ::dlclose(m_Handle);
}

bool SnapInLibrary::Register(std::string& error) {
  if (m_Register() == 0) return true;
  error = "The snap-in " + m_Path + " could not write its registration.";
  return false;
}

bool SnapInLibrary::Unregister(std::string& error) {
  if (m_Unregister() == 0) return true;
  error = "The snap-in " + m_Path + " could not remove its registration.";
  return false;
}

std::unique_ptr<sdk::SnapIn> SnapInLibrary::Create(std::string& error) {
  sdk::SnapIn* snapIn = m_GetClassObject(sdk::kInterfaceVersion);
  if (snapIn == nullptr) {
    error = "The snap-in " + m_Path + " was built for another version of the console.";
  }
  return std::unique_ptr<sdk::SnapIn>(snapIn);
}

}  // namespace bw::console
