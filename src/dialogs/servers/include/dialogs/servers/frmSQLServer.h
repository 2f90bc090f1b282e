// The registration dialog: registers a new SQL Server (add mode) or edits
// the login data of a registration (edit mode, SetServer). The caller sets
// the caption, shows it modally and compares Servers.Count or the server's
// connection string afterwards.
#pragma once

#include <QDialog>

#include "servers/cNet.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace bw {

class Server;
class Servers;

class frmSQLServer : public QDialog {
 public:
  explicit frmSQLServer(Servers& servers, QWidget* parent = nullptr);

  // Edit mode for `server`: the name is fixed, the login fields show the
  // stored ones.
  void SetServer(Server* server);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FirstActivation();
  void cmdRefresh_Click();
  void SecurityChanged();
  void cmdOK_Click();
  void cmdTest_Click();
  std::string DataSourceText() const;

  Servers& m_Servers;
  Server* m_Server = nullptr;
  cNet m_Net;
  bool m_FirstActivation = true;
  QComboBox* m_cboDomains;
  QComboBox* m_cboServers;
  QPushButton* m_cmdRefresh;
  QRadioButton* m_optIntegratedSecurity;
  QRadioButton* m_optServerSecurity;
  QLabel* m_Label5;
  QLabel* m_Label6;
  QLineEdit* m_txtUsername;
  QLineEdit* m_txtPassword;
  QPushButton* m_cmdOK;
  QPushButton* m_cmdCancel;
  QPushButton* m_cmdTest;
};

}  // namespace bw
