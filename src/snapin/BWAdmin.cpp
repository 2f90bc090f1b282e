// libbwadmin.so: the snap-in library the console loads. It exports only the
// four entry points; everything else stays inside, so the library's services
// (messages, dialogs, timers) are its own even in a host that links other
// copies of the same code.
#include <dlfcn.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <string>

#include "commands/DialogService.h"
#include "platform/RegistryHive.h"
#include "sdk/SnapIn.h"
#include "snapin/HostServices.h"
#include "snapin/SnapIn1.h"
#include "support/StringTable.h"
#ifdef BW_HAVE_QT_DIALOGS
#include "dialogs/QtDialogService.h"
#endif

#define BW_EXPORT extern "C" __attribute__((visibility("default")))

namespace bw::snapin {
namespace {

constexpr char kClassId[] = "{6B1E3C70-2A41-4D8B-9C15-7F0A1B2C3D00}";

// SnapIn1 with the library's services installed while it lives.
class HostedSnapIn : public SnapIn1 {
 public:
  ~HostedSnapIn() override {
    // The host's timer must not outlive the object it calls.
    try {
      Timer().SetInterval(0);
    } catch (...) {
    }
    SetDialogService(nullptr);
    SetTimerSystem(nullptr);
    SetMessageService(nullptr);
  }

  void Initialize(sdk::Host& host) override {
#ifdef BW_HAVE_QT_DIALOGS
    // The dialogs' own boxes and the commands' look the same.
    m_Messages = CreateQtMessageService();
    m_Dialogs = CreateQtDialogService();
    SetDialogService(m_Dialogs.get());
#else
    m_Messages = std::make_unique<HostMessageService>(host);
#endif
    m_Timers = std::make_unique<HostTimerSystem>(host);
    SetMessageService(m_Messages.get());
    SetTimerSystem(m_Timers.get());
    SnapIn1::Initialize(host);
  }

 private:
  std::unique_ptr<MessageService> m_Messages;
  std::unique_ptr<HostTimerSystem> m_Timers;
  std::unique_ptr<DialogService> m_Dialogs;
};

std::string LibraryPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&LibraryPath), &info) == 0 || info.dli_fname == nullptr) {
    return {};
  }
  char resolved[PATH_MAX];
  if (realpath(info.dli_fname, resolved) == nullptr) return info.dli_fname;
  return resolved;
}

RegistryValue Text(const std::string& text) {
  RegistryValue value;
  value.type = kRegSz;
  value.data.assign(text.begin(), text.end());
  value.data.push_back(0);
  return value;
}

std::string Key() {
  return std::string(sdk::kSnapInsKey) + "\\" + kClassId;
}

}  // namespace
}  // namespace bw::snapin

BW_EXPORT int DllRegisterServer() {
  using namespace bw;
  try {
    std::string path = snapin::LibraryPath();
    if (path.empty()) return -2;
    RegistryHive hive = RegistryHive::ForCurrentUser();
    RegistryHive::Transaction transaction(hive);
    std::string key = snapin::Key();
    if (hive.SetValue(key, "Path", snapin::Text(path)) != kErrorSuccess ||
        hive.SetValue(key, "Name", snapin::Text(LoadResString(1))) != kErrorSuccess ||
        hive.SetValue(key, "Description", snapin::Text(LoadResString(3))) != kErrorSuccess) {
      return -1;
    }
    return 0;
  } catch (...) {
    return -1;
  }
}

BW_EXPORT int DllUnregisterServer() {
  using namespace bw;
  try {
    long result = RegistryHive::ForCurrentUser().DeleteKey(snapin::Key());
    return result == kErrorSuccess || result == kErrorFileNotFound ? 0 : -1;
  } catch (...) {
    return -1;
  }
}

BW_EXPORT bw::sdk::SnapIn* DllGetClassObject(int interfaceVersion) {
  if (interfaceVersion != bw::sdk::kInterfaceVersion) return nullptr;
  try {
    return new bw::snapin::HostedSnapIn();
  } catch (...) {
    return nullptr;
  }
}

BW_EXPORT int DllCanUnloadNow() {
  return bw::snapin::SnapIn1::LiveObjects() == 0 ? 0 : 1;
}
