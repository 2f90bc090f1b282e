// The archive user properties dialog: adds a login as a user of one archive
// (new-user mode) or changes an existing user's database roles, over
// ArchiveUserProperties. The archive roles stay nested in the check list.
//
// One thread: the UI thread. Loading errors are reported (54 or 69).
#pragma once

#include <QDialog>

#include <memory>
#include <string>

#include "commands/security/ArchiveUserProperties.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;

namespace bw {

class frmUser : public QDialog {
  Q_OBJECT
 public:
  // New-user mode when `userName` is empty.
  frmUser(Database& archive, const std::string& userName, const std::string& loginName,
          QWidget* parent = nullptr);
  ~frmUser() override;

  commands::security::ArchiveUserProperties& State() { return *m_State; }

 private:
  void ShowRoles();
  void ShowRoleDescription();
  void cmdOK_Click();

  std::unique_ptr<commands::security::ArchiveUserProperties> m_State;
  bool m_Filling = false;
  QComboBox* m_cmbLoginName;
  QLineEdit* m_txtDBUsername;
  QListWidget* m_lstDatabaseRoles;
  QLabel* m_lblDescription;
};

}  // namespace bw
