#include "dialogs/security/frmPassword.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "SecurityText.h"
#include "commands/security/ChangePassword.h"

namespace bw {

using namespace security_dialogs;

frmPassword::frmPassword(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmPassword"));
  setWindowTitle(Res(164));
  auto* form = new QFormLayout;
  m_txtPassword = Named(new QLineEdit, "txtPassword", Res(166));
  m_txtPassword->setEchoMode(QLineEdit::Password);
  m_txtPasswordRepeated = Named(new QLineEdit, "txtPasswordRepeated", Res(165));
  m_txtPasswordRepeated->setEchoMode(QLineEdit::Password);
  auto* lblPassword = Named(new QLabel(Res(166)), "lblPassword");
  lblPassword->setBuddy(m_txtPassword);
  auto* lblPasswordRepeated = Named(new QLabel(Res(165)), "lblPasswordRepeated");
  lblPasswordRepeated->setBuddy(m_txtPasswordRepeated);
  form->addRow(lblPassword, m_txtPassword);
  form->addRow(lblPasswordRepeated, m_txtPasswordRepeated);

  auto* buttons = new QDialogButtonBox;
  m_cmdOK = Named(buttons->addButton(Res(90), QDialogButtonBox::AcceptRole), "cmdOK");
  auto* cmdCancel = Named(buttons->addButton(Res(91), QDialogButtonBox::RejectRole), "cmdCancel");
  m_cmdOK->setDefault(true);
  connect(m_cmdOK, &QPushButton::clicked, this, &frmPassword::cmdOK_Click);
  connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
  setMinimumWidth(340);
}

std::string frmPassword::Password() const {
  return FromQ(m_txtPassword->text());
}

void frmPassword::cmdOK_Click() {
  if (commands::security::ChangePassword::Accept(FromQ(m_txtPassword->text()),
                                                 FromQ(m_txtPasswordRepeated->text()))) {
    accept();
  }
}

}  // namespace bw
