#include "commands/DialogService.h"

#include "support/MessageService.h"

namespace bw {
namespace {

// Stands in where a host installed no dialogs (bwctl, tests that need none):
// a command that would open a dialog says so instead of doing nothing.
class UnavailableDialogs : public DialogService {
 public:
  void ShowSQLServer(Servers&, Server*, int) override { Unavailable(); }
  void ShowNewArchiveWizard(Databases&) override { Unavailable(); }
  void ShowOpenArchive(Databases&) override { Unavailable(); }
  void ShowChangeOwner(Database&) override { Unavailable(); }
  void ShowLoginProperties(Server&, const std::string&) override { Unavailable(); }
  void ShowAddLoginWizard(Server&) override { Unavailable(); }
  void ShowArchiveUser(Database&, const std::string&, const std::string&) override {
    Unavailable();
  }
  bool ShowChangePassword(std::string&) override {
    Unavailable();
    return false;
  }
  void ShowProgress(Database&, ProgressTask, std::int32_t) override { Unavailable(); }

 private:
  static void Unavailable() {
    MsgBox("This dialog is not available in this program yet.", MsgStyle::Information);
  }
};

UnavailableDialogs g_Unavailable;
DialogService* g_Service = nullptr;

}  // namespace

DialogService& Dialogs() {
  return g_Service ? *g_Service : g_Unavailable;
}

void SetDialogService(DialogService* service) {
  g_Service = service;
}

}  // namespace bw
