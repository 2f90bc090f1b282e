#include "dialogs/archives/frmChangeOwner.h"

#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "archives/Database.h"
#include "commands/ArchiveCommands.h"
#include "commands/ChangeOwnerChoices.h"
#include "dialogs/widgets/DialogText.h"
#include "support/Error.h"
#include "support/MessageService.h"

namespace bw {

frmChangeOwner::frmChangeOwner(Database& archive, QWidget* parent)
    : QDialog(parent), m_Archive(archive) {
  setObjectName("frmChangeOwner");
  setWindowTitle(ResText(94));
  auto* label1 = new QLabel(ResText(88), this);
  label1->setObjectName("Label1");
  m_lblOldOwner = new QLabel(this);
  m_lblOldOwner->setObjectName("lblOldOwner");
  m_lblOldOwner->setAccessibleName(label1->text());
  m_lblOldOwner->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* lblUsername = new QLabel(ResText(89), this);
  lblUsername->setObjectName("lblUsername");
  m_cmbLoginName = new QComboBox(this);
  m_cmbLoginName->setObjectName("cmbLoginName");
  m_cmbLoginName->setAccessibleName(lblUsername->text());
  m_cmbLoginName->setEditable(true);
  m_cmbLoginName->setInsertPolicy(QComboBox::NoInsert);
  m_cmbLoginName->setMinimumWidth(240);
  lblUsername->setBuddy(m_cmbLoginName);
  m_cmdOK = new QPushButton(ResText(90), this);
  m_cmdOK->setObjectName("cmdOK");
  m_cmdOK->setAccessibleName("OK");
  m_cmdOK->setDefault(true);
  m_cmdCancel = new QPushButton(ResText(91), this);
  m_cmdCancel->setObjectName("cmdCancel");
  m_cmdCancel->setAccessibleName("Cancel");
  m_cmdCancel->setAutoDefault(false);

  auto* form = new QFormLayout;
  form->addRow(label1, m_lblOldOwner);
  form->addRow(lblUsername, m_cmbLoginName);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(m_cmdOK);
  buttons->addWidget(m_cmdCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addSpacing(12);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(m_cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
  connect(m_cmdCancel, &QPushButton::clicked, this, [this] { reject(); });
  SetDialogFont(this);
  LoadOwners();
}

void frmChangeOwner::LoadOwners() {
  m_cmbLoginName->clear();
  try {
    m_Choices = commands::ChangeOwnerChoices::Load(m_Archive);
    m_lblOldOwner->setText(ToQ(m_Choices.oldOwner));
    for (const std::string& login : m_Choices.logins) m_cmbLoginName->addItem(ToQ(login));
  } catch (const Error& error) {
    MsgBox(ErrorReport(93, error), MsgStyle::Information);
  }
  m_cmbLoginName->setCurrentIndex(-1);
  m_cmbLoginName->setEditText(QString());
}

void frmChangeOwner::cmdOK_Click() {
  const std::string newOwner = FromQ(m_cmbLoginName->currentText());
  // The server would take the present owner without a word and change
  // nothing; the administrator is told instead.
  if (std::string same = m_Choices.SameOwnerMessage(newOwner, m_Archive.Name()); !same.empty()) {
    MsgBox(same, MsgStyle::Information);
    return;
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const commands::Outcome outcome = commands::ChangeOwner(m_Archive, newOwner);
  QApplication::restoreOverrideCursor();
  if (outcome == commands::Outcome::Done) accept();
}

}  // namespace bw
