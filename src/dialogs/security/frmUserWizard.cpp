#include "dialogs/security/frmUserWizard.h"

#include <QApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QToolTip>
#include <QVBoxLayout>

#include "SecurityText.h"
#include "servers/cNet.h"
#include "support/Helpers.h"
#include "support/MessageService.h"
#include "support/StringTable.h"

namespace bw {

using namespace security_dialogs;
using commands::security::AddLoginWizard;

namespace {

QLabel* Heading(QLabel* label) {
  QFont font = label->font();
  font.setBold(true);
  font.setPointSizeF(font.pointSizeF() * 1.2);
  label->setFont(font);
  label->setWordWrap(true);
  return label;
}

QLabel* Wrapped(QLabel* label) {
  label->setWordWrap(true);
  return label;
}

}  // namespace

frmUserWizard::frmUserWizard(Server& server, QWidget* parent)
    : QDialog(parent), m_State(std::make_unique<AddLoginWizard>(server)) {
  setObjectName(QStringLiteral("frmUserWizard"));
  setWindowTitle(Res(260));
  m_Pages = Named(new QStackedWidget, "Pages");
  m_Pages->addWidget(BuildWelcome());
  m_Pages->addWidget(BuildAuthentication());
  m_Pages->addWidget(BuildDetails());
  m_Pages->addWidget(BuildArchives());

  m_cmdZur_ck = Named(new QPushButton(Res(141)), "cmdZur_ck", Res(141));
  m_cmdWeiter = Named(new QPushButton(Res(140)), "cmdWeiter", Res(140));
  m_cmdAbbrechen = Named(new QPushButton(Res(91)), "cmdAbbrechen", Res(91));
  m_cmdWeiter->setDefault(true);
  connect(m_cmdZur_ck, &QPushButton::clicked, this, &frmUserWizard::cmdZur_ck_Click);
  connect(m_cmdWeiter, &QPushButton::clicked, this, &frmUserWizard::cmdWeiter_Click);
  connect(m_cmdAbbrechen, &QPushButton::clicked, this, &QDialog::reject);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(m_cmdZur_ck);
  row->addWidget(m_cmdWeiter);
  row->addSpacing(12);
  row->addWidget(m_cmdAbbrechen);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_Pages, 1);
  layout->addLayout(row);
  resize(640, 400);
  ShowPage();
}

frmUserWizard::~frmUserWizard() = default;

QWidget* frmUserWizard::BuildWelcome() {
  auto* page = Named(new QWidget, "pic1");
  auto* layout = new QVBoxLayout(page);
  m_lblWillkommen = Named(Heading(new QLabel(Res(305))), "lblWillkommen");
  QFont arial = m_lblWillkommen->font();
  arial.setFamily(QStringLiteral("Arial"));
  m_lblWillkommen->setFont(arial);
  m_lblWizardDescription = Named(Wrapped(new QLabel(Res(261))), "lblWizardDescription");
  m_Label11 = Named(new QLabel(Res(143)), "Label11");
  layout->addWidget(m_lblWillkommen);
  layout->addWidget(m_lblWizardDescription);
  layout->addStretch(1);
  layout->addWidget(m_Label11);
  return page;
}

QWidget* frmUserWizard::BuildAuthentication() {
  auto* page = Named(new QWidget, "pic2");
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(Named(Heading(new QLabel(Res(262))), "Label19"));
  layout->addWidget(Named(Wrapped(new QLabel(Res(263))), "lblHeaderExplanation1"));
  layout->addWidget(Named(Wrapped(new QLabel(Res(264))), "Label3"));
  m_optWindowsAuthentication =
      Named(new QRadioButton(Res(265)), "optWindowsAuthentication", Res(265));
  m_optWindowsAuthentication->setChecked(true);
  m_optSQLServerAuthentication =
      Named(new QRadioButton(Res(267)), "optSQLServerAuthentication", Res(267));
  layout->addWidget(m_optWindowsAuthentication);
  layout->addWidget(Named(Wrapped(new QLabel(Res(266))), "Label1"));
  layout->addWidget(m_optSQLServerAuthentication);
  layout->addWidget(Named(Wrapped(new QLabel(Res(268))), "Label2"));
  layout->addStretch(1);
  connect(m_optWindowsAuthentication, &QRadioButton::toggled, this,
          [this](bool checked) { m_State->SelectWindowsAuthentication(checked); });
  return page;
}

QWidget* frmUserWizard::BuildDetails() {
  auto* page = Named(new QWidget, "pic3");
  auto* layout = new QVBoxLayout(page);
  m_Label6 = Named(Heading(new QLabel), "Label6");
  m_lblHeaderExplanation2 = Named(Wrapped(new QLabel), "lblHeaderExplanation2");
  m_Label4 = Named(Wrapped(new QLabel), "Label4");
  layout->addWidget(m_Label6);
  layout->addWidget(m_lblHeaderExplanation2);
  layout->addWidget(m_Label4);
  auto* grid = new QGridLayout;
  auto* lblName = Named(new QLabel(Res(221)), "lblName");
  m_txtLoginName = Named(new QLineEdit, "txtLoginName", Res(221));
  lblName->setBuddy(m_txtLoginName);
  m_cmdPickLoginName = Named(new QPushButton(Res(306)), "cmdPickLoginName", Res(306));
  m_lblPassword = Named(new QLabel(Res(222)), "lblPassword");
  m_txtPassword = Named(new QLineEdit, "txtPassword", Res(222));
  m_txtPassword->setEchoMode(QLineEdit::Password);
  m_lblPassword->setBuddy(m_txtPassword);
  m_Label5 = Named(new QLabel(Res(252)), "Label5");
  m_txtPassword2 = Named(new QLineEdit, "txtPassword2", Res(252));
  m_txtPassword2->setEchoMode(QLineEdit::Password);
  m_Label5->setBuddy(m_txtPassword2);
  grid->addWidget(lblName, 0, 0);
  grid->addWidget(m_txtLoginName, 0, 1);
  grid->addWidget(m_cmdPickLoginName, 0, 2);
  grid->addWidget(m_lblPassword, 1, 0);
  grid->addWidget(m_txtPassword, 1, 1);
  grid->addWidget(m_Label5, 2, 0);
  grid->addWidget(m_txtPassword2, 2, 1);
  layout->addLayout(grid);
  m_picAccess = Named(new QGroupBox, "picAccess");
  auto* access = new QVBoxLayout(m_picAccess);
  m_lblAccess = Named(Wrapped(new QLabel), "lblAccess");
  m_optGrantLogin = Named(new QRadioButton(Res(108)), "optGrantLogin", Res(108));
  m_optGrantLogin->setChecked(true);
  auto* optDenyLogin = Named(new QRadioButton(Res(109)), "optDenyLogin", Res(109));
  access->addWidget(m_lblAccess);
  access->addWidget(m_optGrantLogin);
  access->addWidget(optDenyLogin);
  layout->addWidget(m_picAccess);
  layout->addStretch(1);
  connect(m_cmdPickLoginName, &QPushButton::clicked, this, &frmUserWizard::cmdPickLoginName_Click);
  return page;
}

QWidget* frmUserWizard::BuildArchives() {
  auto* page = Named(new QWidget, "pic4");
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(Named(Heading(new QLabel(Res(255))), "Label14"));
  layout->addWidget(Named(Wrapped(new QLabel(Res(256))), "Label13"));
  layout->addWidget(Named(Wrapped(new QLabel(Res(257))), "Label10"));
  m_lstDatabases = Named(new QListWidget, "lstDatabases", Res(257));
  layout->addWidget(m_lstDatabases, 1);
  return page;
}

void frmUserWizard::ShowPage() {
  using Page = AddLoginWizard::Page;
  const Page page = m_State->CurrentPage();
  m_cmdZur_ck->setEnabled(page != Page::Welcome && page != Page::Result);
  switch (page) {
    case Page::Welcome:
      m_Pages->setCurrentIndex(0);
      break;
    case Page::AuthenticationType:
      m_Pages->setCurrentIndex(1);
      m_optWindowsAuthentication->setFocus();
      break;
    case Page::LoginDetails: {
      const bool windows = m_State->WindowsAuthentication();
      const auto texts = m_State->LoginDetailTexts();
      m_Label6->setText(Res(texts.heading));
      m_lblHeaderExplanation2->setText(Res(texts.explanation));
      m_Label4->setText(Res(texts.hint));
      if (texts.access != 0) m_lblAccess->setText(Res(texts.access));
      m_picAccess->setVisible(windows);
      m_cmdPickLoginName->setVisible(windows);
      for (QWidget* w : {static_cast<QWidget*>(m_lblPassword), static_cast<QWidget*>(m_txtPassword),
                         static_cast<QWidget*>(m_Label5), static_cast<QWidget*>(m_txtPassword2)}) {
        w->setVisible(!windows);
      }
      m_txtLoginName->setText(ToQ(m_State->LoginName()));
      m_Pages->setCurrentIndex(2);
      m_txtLoginName->setFocus();
      break;
    }
    case Page::Archives:
      if (m_lstDatabases->count() == 0) {
        for (const auto& archive : m_State->Archives()) {
          auto* item = new QListWidgetItem(ToQ(archive.name), m_lstDatabases);
          item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
          item->setCheckState(Qt::Unchecked);
        }
      }
      m_Pages->setCurrentIndex(3);
      break;
    case Page::Result:
      m_lblWillkommen->setText(ToQ(m_State->ResultTitle()));
      m_lblWizardDescription->setText(ToQ(m_State->ResultText()));
      m_Label11->hide();
      m_Pages->setCurrentIndex(0);
      m_cmdAbbrechen->setEnabled(false);
      m_cmdWeiter->setText(Res(136));
      break;
  }
}

void frmUserWizard::ShowBalloon(QWidget* at, const QString& text) {
  m_BalloonText = text;
  at->setFocus();
  QToolTip::showText(at->mapToGlobal(QPoint(at->width() / 4, at->height() / 2)), text, at);
}

void frmUserWizard::cmdWeiter_Click() {
  using Page = AddLoginWizard::Page;
  m_BalloonText.clear();
  QToolTip::hideText();
  const Page before = m_State->CurrentPage();
  if (before == Page::Result) {
    accept();
    return;
  }
  if (before == Page::LoginDetails) {
    m_State->SetLoginName(FromQ(m_txtLoginName->text()));
    m_State->SetPassword(FromQ(m_txtPassword->text()));
    m_State->SetConfirmation(FromQ(m_txtPassword2->text()));
    m_State->SelectGrant(m_optGrantLogin->isChecked());
  }
  if (before == Page::Archives) {
    for (int i = 0; i < m_lstDatabases->count(); ++i) {
      m_State->SetArchiveChecked(static_cast<std::size_t>(i),
                                 m_lstDatabases->item(i)->checkState() == Qt::Checked);
    }
  }
  const bool busy = before == Page::LoginDetails || before == Page::Archives;
  if (busy) QApplication::setOverrideCursor(Qt::WaitCursor);
  bool moved = false;
  try {
    moved = m_State->Next();
  } catch (const Error& error) {
    if (busy) QApplication::restoreOverrideCursor();
    MsgBox(ErrorReport(50, error), MsgStyle::Information);
    return;
  }
  if (busy) QApplication::restoreOverrideCursor();
  if (moved) {
    if (before == Page::AuthenticationType) m_lstDatabases->clear();
    ShowPage();
    return;
  }
  const auto& warning = m_State->LastWarning();
  if (warning.field == AddLoginWizard::Field::LoginName) {
    ShowBalloon(m_txtLoginName, Res(warning.textId));
  } else if (warning.field == AddLoginWizard::Field::Password) {
    ShowBalloon(m_txtPassword, Res(warning.textId));
  }
}

void frmUserWizard::cmdZur_ck_Click() {
  QToolTip::hideText();
  m_BalloonText.clear();
  m_State->Back();
  ShowPage();
}

void frmUserWizard::cmdPickLoginName_Click() {
  const int version = GetWindowsVersion();
  if (version == 0 || version == 1 || version == 4) {
    MsgBox(LoadResString(116), MsgStyle::Information);
    return;
  }
  cNet net;
  std::string names;
  if (net.GetBrowserNames(0, LoadResString(117), 43, names)) {
    // The first account chosen.
    const std::size_t end = names.find_first_of("\r\n");
    m_txtLoginName->setText(ToQ(names.substr(0, end)));
  }
}

}  // namespace bw
