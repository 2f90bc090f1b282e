#include "dialogs/security/frmUser.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "SecurityText.h"
#include "support/Error.h"
#include "support/MessageService.h"

namespace bw {

using namespace security_dialogs;
using commands::security::ArchiveUserProperties;

frmUser::frmUser(Database& archive, const std::string& userName, const std::string& loginName,
                 QWidget* parent)
    : QDialog(parent),
      m_State(std::make_unique<ArchiveUserProperties>(archive, userName, loginName)) {
  const bool newUser = m_State->NewUserMode();
  setObjectName(QStringLiteral("frmUser"));
  setWindowTitle(Res(newUser ? 52 : 226));
  auto* grid = new QGridLayout;
  auto* lblUsername = Named(new QLabel(Res(221)), "lblUsername");
  m_cmbLoginName = Named(new QComboBox, "cmbLoginName", Res(221));
  m_cmbLoginName->setEditable(true);
  lblUsername->setBuddy(m_cmbLoginName);
  auto* lblDBUsername = Named(new QLabel(Res(227)), "lblDBUsername");
  m_txtDBUsername = Named(new QLineEdit, "txtDBUsername", Res(227));
  lblDBUsername->setBuddy(m_txtDBUsername);
  grid->addWidget(lblUsername, 0, 0);
  grid->addWidget(m_cmbLoginName, 0, 1);
  grid->addWidget(lblDBUsername, 1, 0);
  grid->addWidget(m_txtDBUsername, 1, 1);
  // Properties mode shows only the user's name and roles.
  lblUsername->setVisible(newUser);
  m_cmbLoginName->setVisible(newUser);
  if (!newUser) {
    m_txtDBUsername->setText(ToQ(userName));
    m_txtDBUsername->setReadOnly(true);
    m_txtDBUsername->setFrame(false);
    m_cmbLoginName->setEditText(ToQ(loginName));
  }

  auto* lblMember = Named(new QLabel(Res(228)), "lblMember");
  m_lstDatabaseRoles = Named(new QListWidget, "lstDatabaseRoles", Res(228));
  auto* frDescrition = Named(new QGroupBox(Res(112)), "frDescrition");
  auto* description = new QVBoxLayout(frDescrition);
  m_lblDescription = Named(new QLabel, "lblDescription", Res(112));
  m_lblDescription->setWordWrap(true);
  m_lblDescription->setMinimumHeight(40);
  description->addWidget(m_lblDescription);

  auto* buttons = new QDialogButtonBox;
  auto* cmdOK = Named(buttons->addButton(Res(90), QDialogButtonBox::AcceptRole), "cmdOK");
  auto* cmdCancel = Named(buttons->addButton(Res(91), QDialogButtonBox::RejectRole), "cmdCancel");
  cmdOK->setDefault(true);
  connect(cmdOK, &QPushButton::clicked, this, &frmUser::cmdOK_Click);
  connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(lblMember);
  layout->addWidget(m_lstDatabaseRoles, 1);
  layout->addWidget(frDescrition);
  layout->addWidget(buttons);
  resize(440, 400);

  connect(m_cmbLoginName, &QComboBox::currentTextChanged, this, [this](const QString& text) {
    if (m_Filling) return;
    m_State->SelectLogin(FromQ(text));
    m_txtDBUsername->setText(text);
  });
  connect(m_txtDBUsername, &QLineEdit::textEdited, this,
          [this](const QString& text) { m_State->SetUserName(FromQ(text)); });
  connect(m_lstDatabaseRoles, &QListWidget::currentRowChanged, this, &frmUser::ShowRoleDescription);
  connect(m_lstDatabaseRoles, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
    if (m_Filling) return;
    m_State->SetRoleChecked(static_cast<std::size_t>(m_lstDatabaseRoles->row(item)),
                            item->checkState() == Qt::Checked);
    ShowRoles();  // the nesting may have changed others
  });

  QApplication::setOverrideCursor(Qt::WaitCursor);
  try {
    m_State->Load();
  } catch (const Error& error) {
    QApplication::restoreOverrideCursor();
    MsgBox(ErrorReport(newUser ? 54 : 69, error), MsgStyle::Information);
    return;
  }
  QApplication::restoreOverrideCursor();
  m_Filling = true;
  for (const std::string& login : m_State->AvailableLogins()) m_cmbLoginName->addItem(ToQ(login));
  m_cmbLoginName->setCurrentIndex(-1);
  if (newUser) m_cmbLoginName->setEditText(QString());
  m_Filling = false;
  ShowRoles();
  m_lstDatabaseRoles->setCurrentRow(0);
}

frmUser::~frmUser() = default;

void frmUser::ShowRoles() {
  m_Filling = true;
  const auto& roles = m_State->Roles();
  if (m_lstDatabaseRoles->count() != static_cast<int>(roles.size())) {
    m_lstDatabaseRoles->clear();
    for (const auto& role : roles) {
      auto* item = new QListWidgetItem(Res(role.textId), m_lstDatabaseRoles);
      item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    }
  }
  for (std::size_t i = 0; i < roles.size(); ++i) {
    m_lstDatabaseRoles->item(static_cast<int>(i))
        ->setCheckState(roles[i].checked ? Qt::Checked : Qt::Unchecked);
  }
  m_Filling = false;
}

void frmUser::ShowRoleDescription() {
  const int row = m_lstDatabaseRoles->currentRow();
  const auto& roles = m_State->Roles();
  m_lblDescription->setText(row >= 0 && static_cast<std::size_t>(row) < roles.size()
                                ? Res(roles[static_cast<std::size_t>(row)].descriptionId)
                                : QString());
}

void frmUser::cmdOK_Click() {
  if (m_State->NewUserMode()) {
    // What is typed counts, also when no item was chosen from the list.
    m_State->SelectLogin(FromQ(m_cmbLoginName->currentText()));
    m_State->SetUserName(FromQ(m_txtDBUsername->text()));
  }
  if (m_State->Ok() == ArchiveUserProperties::OkResult::Closed) accept();
}

}  // namespace bw
