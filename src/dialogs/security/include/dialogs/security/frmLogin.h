// The login properties dialog: one existing login of a server — how it
// authenticates, grant or deny, its server roles, its archives and a new
// password — over LoginProperties, which holds the state and sends the
// statements on OK.
//
// One thread: the UI thread. Nothing is raised out of it: loading errors are
// reported (51) and leave the dialog empty.
#pragma once

#include <QDialog>

#include <memory>
#include <string>

#include "commands/security/LoginProperties.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QGroupBox;

namespace bw {

class frmLogin : public QDialog {
  Q_OBJECT
 public:
  frmLogin(Server& server, const std::string& loginName, QWidget* parent = nullptr);
  ~frmLogin() override;

  commands::security::LoginProperties& State() { return *m_State; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QWidget* BuildCommon();
  QWidget* BuildServerRoles();
  QWidget* BuildDatabaseAccess();
  void ShowLoaded();
  void AuthenticationChanged();
  void ShowRoleDescription();
  void cmdChangePassword_Click();
  void cmdOK_Click();

  std::unique_ptr<commands::security::LoginProperties> m_State;
  bool m_FirstActivation = true;
  bool m_Filling = false;
  QTabWidget* m_TabStrip1;
  QLineEdit* m_txtLoginName;
  QPushButton* m_cmdPickLoginName;
  QRadioButton* m_optWindowsAuthentication;
  QRadioButton* m_optSQLServerAuthentication;
  QComboBox* m_cboDomain;
  QGroupBox* m_picAccess;
  QRadioButton* m_optGrantLogin;
  QRadioButton* m_optDenyLogin;
  QLineEdit* m_txtPassword;
  QPushButton* m_cmdChangePassword;
  QListWidget* m_lstServerRoles;
  QLabel* m_lblDescription;
  QListWidget* m_lstDatabases;
};

}  // namespace bw
