#include "dialogs/QtDialogService.h"

#include <QApplication>

#include "dialogs/archives/frmChangeOwner.h"
#include "dialogs/archives/frmNewArchiveWizard.h"
#include "dialogs/archives/frmOpenArchive.h"
#include "dialogs/servers/frmAccountPicker.h"
#include "dialogs/servers/frmSQLServer.h"
#include "dialogs/widgets/DialogText.h"
#include "dialogs/widgets/QtMessageService.h"

namespace bw {
namespace {

void NotAvailable() {
  MsgBox("This dialog is not available in this program yet.", MsgStyle::Information);
}

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
  void ShowLoginProperties(Server&, const std::string&) override { NotAvailable(); }
  void ShowAddLoginWizard(Server&) override { NotAvailable(); }
  void ShowArchiveUser(Database&, const std::string&, const std::string&) override {
    NotAvailable();
  }
  bool ShowChangePassword(std::string&) override {
    NotAvailable();
    return false;
  }
  void ShowProgress(Database&, ProgressTask, std::int32_t) override { NotAvailable(); }
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
