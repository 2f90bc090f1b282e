// The Add Login wizard: welcome, authentication type, login details,
// archives, result — over AddLoginWizard, which checks each page and sends
// the statements. A page's warning is shown as a balloon at the box
// concerned until the next key or click.
#pragma once

#include <QDialog>

#include <memory>

#include "commands/security/AddLoginWizard.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QStackedWidget;

namespace bw {

class frmUserWizard : public QDialog {
  Q_OBJECT
 public:
  explicit frmUserWizard(Server& server, QWidget* parent = nullptr);
  ~frmUserWizard() override;

  commands::security::AddLoginWizard& State() { return *m_State; }
  // The text of the balloon shown last ("" when none is up).
  QString BalloonText() const { return m_BalloonText; }

 private:
  QWidget* BuildWelcome();
  QWidget* BuildAuthentication();
  QWidget* BuildDetails();
  QWidget* BuildArchives();
  void ShowPage();
  void ShowBalloon(QWidget* at, const QString& text);
  void cmdWeiter_Click();
  void cmdZur_ck_Click();
  void cmdPickLoginName_Click();

  std::unique_ptr<commands::security::AddLoginWizard> m_State;
  QString m_BalloonText;
  QStackedWidget* m_Pages;
  QLabel* m_lblWillkommen;
  QLabel* m_lblWizardDescription;
  QLabel* m_Label11;
  QRadioButton* m_optWindowsAuthentication;
  QRadioButton* m_optSQLServerAuthentication;
  QLabel* m_Label6;
  QLabel* m_lblHeaderExplanation2;
  QLabel* m_Label4;
  QLineEdit* m_txtLoginName;
  QPushButton* m_cmdPickLoginName;
  QGroupBox* m_picAccess;
  QLabel* m_lblAccess;
  QRadioButton* m_optGrantLogin;
  QLabel* m_lblPassword;
  QLineEdit* m_txtPassword;
  QLabel* m_Label5;
  QLineEdit* m_txtPassword2;
  QListWidget* m_lstDatabases;
  QPushButton* m_cmdZur_ck;
  QPushButton* m_cmdWeiter;
  QPushButton* m_cmdAbbrechen;
};

}  // namespace bw
