#include "dialogs/security/frmLogin.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "SecurityText.h"
#include "dialogs/security/frmPassword.h"
#include "servers/cNet.h"
#include "support/Error.h"
#include "support/MessageService.h"
#include "support/StringTable.h"

namespace bw {

using namespace security_dialogs;
using commands::security::LoginProperties;

frmLogin::frmLogin(Server& server, const std::string& loginName, QWidget* parent)
    : QDialog(parent), m_State(std::make_unique<LoginProperties>(server)) {
  setObjectName(QStringLiteral("frmLogin"));
  setWindowTitle(Res(98));
  m_TabStrip1 = Named(new QTabWidget, "TabStrip1");
  m_TabStrip1->addTab(BuildCommon(), Res(99));
  m_TabStrip1->addTab(BuildServerRoles(), Res(100));
  m_TabStrip1->addTab(BuildDatabaseAccess(), Res(101));

  auto* buttons = new QDialogButtonBox;
  auto* cmdOK = Named(buttons->addButton(Res(90), QDialogButtonBox::AcceptRole), "cmdOK");
  auto* cmdCancel = Named(buttons->addButton(Res(91), QDialogButtonBox::RejectRole), "cmdCancel");
  cmdOK->setDefault(true);
  connect(cmdOK, &QPushButton::clicked, this, &frmLogin::cmdOK_Click);
  connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_TabStrip1);
  layout->addWidget(buttons);
  resize(480, 440);

  // An existing login: its name is shown, never changed here.
  m_txtLoginName->setReadOnly(true);
  m_txtLoginName->setFrame(false);
  m_cboDomain->setEnabled(false);
  m_cmdPickLoginName->setEnabled(false);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  try {
    m_State->Load(loginName);
  } catch (const Error& error) {
    QApplication::restoreOverrideCursor();
    MsgBox(ErrorReport(51, error), MsgStyle::Information);
    m_txtLoginName->setText(ToQ(loginName));
    return;
  }
  QApplication::restoreOverrideCursor();
  ShowLoaded();
}

frmLogin::~frmLogin() = default;

QWidget* frmLogin::BuildCommon() {
  auto* page = Named(new QWidget, "picCommon");
  auto* grid = new QGridLayout(page);
  auto* lblName = Named(new QLabel(Res(103)), "lblName");
  m_txtLoginName = Named(new QLineEdit, "txtLoginName", Res(103));
  lblName->setBuddy(m_txtLoginName);
  m_cmdPickLoginName = Named(new QPushButton(QStringLiteral("…")), "cmdPickLoginName");
  grid->addWidget(lblName, 0, 0);
  grid->addWidget(m_txtLoginName, 0, 1);
  grid->addWidget(m_cmdPickLoginName, 0, 2);

  auto* picAthentication = Named(new QGroupBox, "picAthentication");
  auto* auth = new QGridLayout(picAthentication);
  m_optWindowsAuthentication =
      Named(new QRadioButton(Res(104)), "optWindowsAuthentication", Res(104));
  auto* lblDomain = Named(new QLabel(Res(106)), "lblDomain");
  m_cboDomain = Named(new QComboBox, "cboDomain", Res(106));
  lblDomain->setBuddy(m_cboDomain);
  m_picAccess = Named(new QGroupBox, "picAccess");
  auto* access = new QVBoxLayout(m_picAccess);
  auto* lblAccess = Named(new QLabel(Res(107)), "lblAccess");
  m_optGrantLogin = Named(new QRadioButton(Res(108)), "optGrantLogin", Res(108));
  m_optDenyLogin = Named(new QRadioButton(Res(109)), "optDenyLogin", Res(109));
  access->addWidget(lblAccess);
  access->addWidget(m_optGrantLogin);
  access->addWidget(m_optDenyLogin);
  m_optSQLServerAuthentication =
      Named(new QRadioButton(Res(105)), "optSQLServerAuthentication", Res(105));
  auto* lblPassword = Named(new QLabel(Res(110)), "lblPassword");
  m_txtPassword = Named(new QLineEdit, "txtPassword", Res(110));
  m_txtPassword->setEchoMode(QLineEdit::Password);
  m_txtPassword->setEnabled(false);
  lblPassword->setBuddy(m_txtPassword);
  m_cmdChangePassword = Named(new QPushButton(QStringLiteral("…")), "cmdChangePassword", Res(164));
  auth->addWidget(m_optWindowsAuthentication, 0, 0, 1, 3);
  auth->addWidget(lblDomain, 1, 0);
  auth->addWidget(m_cboDomain, 1, 1, 1, 2);
  auth->addWidget(m_picAccess, 2, 0, 1, 3);
  auth->addWidget(m_optSQLServerAuthentication, 3, 0, 1, 3);
  auth->addWidget(lblPassword, 4, 0);
  auth->addWidget(m_txtPassword, 4, 1);
  auth->addWidget(m_cmdChangePassword, 4, 2);
  grid->addWidget(picAthentication, 1, 0, 1, 3);
  grid->setRowStretch(2, 1);

  // The two kinds and the grant/deny pair are separate choices.
  auto* kinds = new QButtonGroup(page);
  kinds->addButton(m_optWindowsAuthentication);
  kinds->addButton(m_optSQLServerAuthentication);
  connect(m_optWindowsAuthentication, &QRadioButton::toggled, this,
          &frmLogin::AuthenticationChanged);
  connect(m_optGrantLogin, &QRadioButton::toggled, this, [this](bool checked) {
    if (!m_Filling) m_State->SelectGrant(checked);
  });
  connect(m_cmdChangePassword, &QPushButton::clicked, this, &frmLogin::cmdChangePassword_Click);
  return page;
}

QWidget* frmLogin::BuildServerRoles() {
  auto* page = Named(new QWidget, "picServerRoles");
  auto* layout = new QVBoxLayout(page);
  auto* lblSvrRoleDescription = Named(new QLabel(Res(111)), "lblSvrRoleDescription");
  lblSvrRoleDescription->setWordWrap(true);
  m_lstServerRoles = Named(new QListWidget, "lstServerRoles", Res(100));
  auto* frDescrition = Named(new QGroupBox(Res(112)), "frDescrition");
  auto* description = new QVBoxLayout(frDescrition);
  m_lblDescription = Named(new QLabel, "lblDescription", Res(112));
  m_lblDescription->setWordWrap(true);
  m_lblDescription->setMinimumHeight(48);
  description->addWidget(m_lblDescription);
  layout->addWidget(lblSvrRoleDescription);
  layout->addWidget(m_lstServerRoles, 1);
  layout->addWidget(frDescrition);
  connect(m_lstServerRoles, &QListWidget::currentRowChanged, this, &frmLogin::ShowRoleDescription);
  connect(m_lstServerRoles, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
    if (m_Filling) return;
    m_State->SetServerRoleChecked(static_cast<std::size_t>(m_lstServerRoles->row(item)),
                                  item->checkState() == Qt::Checked);
  });
  return page;
}

QWidget* frmLogin::BuildDatabaseAccess() {
  auto* page = Named(new QWidget, "picDatabaseAccess");
  auto* layout = new QVBoxLayout(page);
  auto* lblDatabaseAccess = Named(new QLabel(Res(102)), "lblDatabaseAccess");
  lblDatabaseAccess->setWordWrap(true);
  m_lstDatabases = Named(new QListWidget, "lstDatabases", Res(101));
  layout->addWidget(lblDatabaseAccess);
  layout->addWidget(m_lstDatabases, 1);
  connect(m_lstDatabases, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
    if (m_Filling) return;
    m_State->SetArchiveChecked(static_cast<std::size_t>(m_lstDatabases->row(item)),
                               item->checkState() == Qt::Checked);
  });
  return page;
}

void frmLogin::ShowLoaded() {
  m_Filling = true;
  m_txtLoginName->setText(ToQ(m_State->LoginName()));
  if (m_State->Found()) {
    const bool windows = m_State->IsWindowsLogin();
    (windows ? m_optWindowsAuthentication : m_optSQLServerAuthentication)->setChecked(true);
    m_optSQLServerAuthentication->setEnabled(!windows);
    m_optWindowsAuthentication->setEnabled(windows);
    (m_State->GrantSelected() ? m_optGrantLogin : m_optDenyLogin)->setChecked(true);
    if (!windows) m_txtPassword->setText(QStringLiteral("********"));
    AuthenticationChanged();
  }
  m_lstServerRoles->clear();
  for (const auto& role : m_State->ServerRoles()) {
    auto* item = new QListWidgetItem(Res(role.textId), m_lstServerRoles);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(role.checked ? Qt::Checked : Qt::Unchecked);
  }
  m_lstServerRoles->setCurrentRow(0);
  m_lstDatabases->clear();
  for (const auto& archive : m_State->Archives()) {
    auto* item = new QListWidgetItem(ToQ(archive.name), m_lstDatabases);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(archive.checked ? Qt::Checked : Qt::Unchecked);
  }
  m_Filling = false;
  ShowRoleDescription();
}

void frmLogin::AuthenticationChanged() {
  const bool windows = m_optWindowsAuthentication->isChecked();
  m_optGrantLogin->setEnabled(windows);
  m_optDenyLogin->setEnabled(windows);
  m_cmdChangePassword->setVisible(!windows);
  m_cmdPickLoginName->setVisible(windows);
}

void frmLogin::ShowRoleDescription() {
  const int row = m_lstServerRoles->currentRow();
  const auto& roles = m_State->ServerRoles();
  m_lblDescription->setText(row >= 0 && static_cast<std::size_t>(row) < roles.size()
                                ? Res(roles[static_cast<std::size_t>(row)].descriptionId)
                                : QString());
}

void frmLogin::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!m_FirstActivation) return;
  m_FirstActivation = false;
  for (const std::string& domain : EnumDomains()) m_cboDomain->addItem(ToQ(domain));
  m_cboDomain->setCurrentIndex(m_cboDomain->count() - 1);
}

void frmLogin::cmdChangePassword_Click() {
  frmPassword password(this);
  if (password.exec() == QDialog::Accepted) {
    m_State->SetNewPassword(password.Password());
    m_txtPassword->setText(ToQ(password.Password()));
  }
}

void frmLogin::cmdOK_Click() {
  if (m_State->Ok() != LoginProperties::OkResult::Failed) accept();
}

}  // namespace bw
