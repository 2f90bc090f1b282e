#include "dialogs/QtDialogService.h"

#include <QApplication>

#include "archives/PlainTextRun.h"
#include "dialogs/archives/frmChangeOwner.h"
#include "dialogs/archives/frmNewArchiveWizard.h"
#include "dialogs/archives/frmOpenArchive.h"
#include "dialogs/archives/frmProgress.h"
#include "dialogs/security/SecurityDialogs.h"
#include "dialogs/servers/frmAccountPicker.h"
#include "dialogs/servers/frmSQLServer.h"
#include "dialogs/widgets/DialogText.h"
#include "dialogs/widgets/QtMessageService.h"

namespace bw {
namespace {

// The window a dialog opens over.
QWidget* Owner() {
  QWidget* owner = QApplication::activeModalWidget();
  return owner != nullptr ? owner : QApplication::activeWindow();
}

void ShowSQLServerDialog(Servers& servers, Server* server, int captionId) {
  frmSQLServer dialog(servers, Owner());
  dialog.setWindowTitle(ResText(captionId));
  dialog.SetServer(server);
  dialog.exec();
}

// Each method opens one dialog, a new instance each time, so every opening
// starts from the dialog's load state; the dialogs report their own errors.
class QtDialogService : public DialogService {
 public:
  void ShowSQLServer(Servers& servers, Server* server, int captionId) override {
    ShowSQLServerDialog(servers, server, captionId);
  }
  void ShowNewArchiveWizard(Databases& archives) override {
    frmNewArchiveWizard(archives, Owner()).exec();
  }
  void ShowOpenArchive(Databases& archives) override { frmOpenArchive(archives, Owner()).exec(); }
  void ShowChangeOwner(Database& archive) override { frmChangeOwner(archive, Owner()).exec(); }
  void ShowLoginProperties(Server& server, const std::string& loginName) override {
    ShowLoginPropertiesDialog(Owner(), server, loginName);
  }
  void ShowAddLoginWizard(Server& server) override { ShowAddLoginWizardDialog(Owner(), server); }
  void ShowArchiveUser(Database& archive, const std::string& userName,
                       const std::string& loginName) override {
    ShowArchiveUserDialog(Owner(), archive, userName, loginName);
  }
  bool ShowChangePassword(std::string& password) override {
    return ShowChangePasswordDialog(Owner(), password);
  }
  void ShowProgress(Database& archive, ProgressTask task, std::int32_t version) override {
    frmProgress dialog(Owner());
    if (task == ProgressTask::Conversion) {
      dialog.SetConversion(archive, version);
    } else {
      // The run shows its own failures and leaves what it finished saved.
      dialog.SetWork([&archive](Progress& progress) { PlainTextRun(archive, progress).Run(); });
    }
    dialog.exec();
  }
};

}  // namespace

std::unique_ptr<DialogService> CreateQtDialogService() {
  frmAccountPicker::Install();
  return std::make_unique<QtDialogService>();
}

std::unique_ptr<MessageService> CreateQtMessageService() {
  return std::make_unique<QtMessageService>();
}

}  // namespace bw
