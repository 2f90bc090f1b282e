#include "dialogs/security/SecurityDialogs.h"

#include "dialogs/security/frmLogin.h"
#include "dialogs/security/frmPassword.h"
#include "dialogs/security/frmUser.h"
#include "dialogs/security/frmUserWizard.h"

namespace bw {

void ShowLoginPropertiesDialog(QWidget* parent, Server& server, const std::string& loginName) {
  frmLogin dialog(server, loginName, parent);
  dialog.exec();
}

void ShowAddLoginWizardDialog(QWidget* parent, Server& server) {
  frmUserWizard dialog(server, parent);
  dialog.exec();
}

void ShowArchiveUserDialog(QWidget* parent, Database& archive, const std::string& userName,
                           const std::string& loginName) {
  frmUser dialog(archive, userName, loginName, parent);
  dialog.exec();
}

bool ShowChangePasswordDialog(QWidget* parent, std::string& password) {
  frmPassword dialog(parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  password = dialog.Password();
  return true;
}

}  // namespace bw
