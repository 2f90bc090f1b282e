#include "dialogs/servers/frmSQLServer.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include "commands/RegistrationFields.h"
#include "commands/ServerCommands.h"
#include "dialogs/widgets/DialogText.h"
#include "servers/Server.h"
#include "servers/Servers.h"
#include "support/Error.h"
#include "support/MessageService.h"

namespace bw {
namespace {

QLabel* MakeLabel(QWidget* parent, const char* name, int textId) {
  auto* label = new QLabel(ResText(textId), parent);
  label->setObjectName(name);
  return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, int textId) {
  auto* button = new QPushButton(ResText(textId), parent);
  button->setObjectName(name);
  button->setAccessibleName(button->text());
  button->setAutoDefault(false);
  return button;
}

QComboBox* MakeCombo(QWidget* parent, const char* name, QLabel* label) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(name);
  combo->setEditable(true);
  combo->setInsertPolicy(QComboBox::NoInsert);
  combo->setAccessibleName(label->text());
  label->setBuddy(combo);
  return combo;
}

// Locked fields keep the look of the platform's: the button face while
// they take no input, the window colour while they do.
void PaintLocked(QWidget* widget, bool locked) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Base,
                   QApplication::palette().color(locked ? QPalette::Button : QPalette::Base));
  widget->setPalette(palette);
}

class WaitCursor {
 public:
  WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

frmSQLServer::frmSQLServer(Servers& servers, QWidget* parent)
    : QDialog(parent), m_Servers(servers) {
  setObjectName("frmSQLServer");
  setWindowTitle(ResText(225));
  QLabel* label3 = MakeLabel(this, "Label3", 215);
  QLabel* label1 = MakeLabel(this, "Label1", 216);
  m_cboDomains = MakeCombo(this, "cboDomains", label1);
  QLabel* label4 = MakeLabel(this, "Label4", 217);
  m_cboServers = MakeCombo(this, "cboServers", label4);
  m_cmdRefresh = MakeButton(this, "cmdRefresh", 223);
  QLabel* label2 = MakeLabel(this, "Label2", 218);
  m_optIntegratedSecurity = new QRadioButton(ResText(219), this);
  m_optIntegratedSecurity->setObjectName("optIntegratedSecurity");
  m_optIntegratedSecurity->setAccessibleName(m_optIntegratedSecurity->text());
  m_optServerSecurity = new QRadioButton(ResText(220), this);
  m_optServerSecurity->setObjectName("optServerSecurity");
  m_optServerSecurity->setAccessibleName(m_optServerSecurity->text());
  m_Label5 = MakeLabel(this, "Label5", 221);
  m_txtUsername = new QLineEdit(this);
  m_txtUsername->setObjectName("txtUsername");
  m_txtUsername->setAccessibleName(m_Label5->text());
  m_Label5->setBuddy(m_txtUsername);
  m_Label6 = MakeLabel(this, "Label6", 222);
  m_txtPassword = new QLineEdit(this);
  m_txtPassword->setObjectName("txtPassword");
  m_txtPassword->setAccessibleName(m_Label6->text());
  m_txtPassword->setEchoMode(QLineEdit::Password);
  m_Label6->setBuddy(m_txtPassword);
  m_cmdOK = MakeButton(this, "cmdOK", 90);
  m_cmdOK->setDefault(true);
  m_cmdCancel = MakeButton(this, "cmdCancel", 91);
  m_cmdTest = MakeButton(this, "cmdTest", 224);

  auto* grid = new QGridLayout;
  grid->setColumnMinimumWidth(0, 20);
  grid->setColumnStretch(2, 1);
  int row = 0;
  grid->addWidget(label1, row++, 0, 1, 4);
  grid->addWidget(m_cboDomains, row++, 1, 1, 2);
  grid->addItem(new QSpacerItem(1, 6), row++, 0);
  grid->addWidget(label4, row++, 0, 1, 4);
  grid->addWidget(m_cboServers, row, 1, 1, 2);
  grid->addWidget(m_cmdRefresh, row++, 3);
  grid->addItem(new QSpacerItem(1, 6), row++, 0);
  grid->addWidget(label2, row++, 0, 1, 4);
  grid->addWidget(m_optIntegratedSecurity, row++, 1, 1, 3);
  grid->addWidget(m_optServerSecurity, row++, 1, 1, 3);
  auto* login = new QGridLayout;
  login->setContentsMargins(22, 0, 0, 0);
  login->addWidget(m_Label5, 0, 0);
  login->addWidget(m_txtUsername, 0, 1);
  login->addWidget(m_Label6, 1, 0);
  login->addWidget(m_txtPassword, 1, 1);
  grid->addLayout(login, row++, 1, 1, 2);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(m_cmdTest);
  buttons->addStretch();
  buttons->addWidget(m_cmdOK);
  buttons->addWidget(m_cmdCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label3);
  layout->addSpacing(6);
  layout->addLayout(grid);
  layout->addSpacing(12);
  layout->addLayout(buttons);
  setMinimumWidth(480);

  setTabOrder(m_cboDomains, m_cboServers);
  setTabOrder(m_cboServers, m_cmdRefresh);
  setTabOrder(m_cmdRefresh, m_optIntegratedSecurity);
  setTabOrder(m_optIntegratedSecurity, m_optServerSecurity);
  setTabOrder(m_optServerSecurity, m_txtUsername);
  setTabOrder(m_txtUsername, m_txtPassword);
  setTabOrder(m_txtPassword, m_cmdTest);
  setTabOrder(m_cmdTest, m_cmdOK);
  setTabOrder(m_cmdOK, m_cmdCancel);

  connect(m_cmdRefresh, &QPushButton::clicked, this, [this] { cmdRefresh_Click(); });
  connect(m_cboDomains, QOverload<int>::of(&QComboBox::activated), this,
          [this](int) { cmdRefresh_Click(); });
  connect(m_optIntegratedSecurity, &QRadioButton::toggled, this, [this] { SecurityChanged(); });
  connect(m_cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
  connect(m_cmdCancel, &QPushButton::clicked, this, [this] { reject(); });
  connect(m_cmdTest, &QPushButton::clicked, this, [this] { cmdTest_Click(); });

  // A new registration starts with a SQL Server login, as most servers
  // here have no Windows authentication to offer.
  m_optServerSecurity->setChecked(true);
  SecurityChanged();
  SetDialogFont(this);
}

void frmSQLServer::SetServer(Server* server) {
  m_Server = server;
  if (server == nullptr) return;
  for (QComboBox* combo : {m_cboDomains, m_cboServers}) {
    combo->clear();
    combo->lineEdit()->setReadOnly(true);
    PaintLocked(combo, true);
  }
  m_cboServers->setEditText(ToQ(server->Name()));
  m_cmdRefresh->setEnabled(false);
  const commands::RegistrationFields fields =
      commands::RegistrationFields::Parse(server->ConnectionString());
  if (fields.integrated) {
    m_txtUsername->clear();
    m_txtPassword->clear();
    m_optIntegratedSecurity->setChecked(true);
  } else {
    m_txtUsername->setText(ToQ(fields.login));
    m_txtPassword->setText(ToQ(fields.password));
    m_optServerSecurity->setChecked(true);
  }
  SecurityChanged();
}

void frmSQLServer::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (m_FirstActivation) {
    m_FirstActivation = false;
    // After the dialog is painted: enumerating the network takes a moment.
    if (m_Server == nullptr) QTimer::singleShot(0, this, [this] { FirstActivation(); });
  }
}

void frmSQLServer::FirstActivation() {
  const long status = m_Net.GetJoinStatus();
  if (status != 2 && status != 3) return;
  std::vector<std::string> domains;
  try {
    WaitCursor wait;
    domains = EnumDomains();
  } catch (const Error& error) {
    // The user can still type the server; the lists stay empty.
    MsgBox(error.Description(), MsgStyle::Information);
    return;
  }
  for (const std::string& domain : domains) m_cboDomains->addItem(ToQ(domain));
  if (m_cboDomains->count() > 0) {
    m_cboDomains->setCurrentIndex(0);
    cmdRefresh_Click();
  }
}

void frmSQLServer::cmdRefresh_Click() {
  WaitCursor wait;
  QApplication::processEvents();
  m_cboServers->clear();
  long type = kServerTypeSqlServer;
  std::string domain = FromQ(m_cboDomains->currentText());
  for (const std::string& server : EnumServers(type, domain)) m_cboServers->addItem(ToQ(server));
  if (m_cboServers->count() > 0) m_cboServers->setCurrentIndex(m_cboServers->count() - 1);
}

void frmSQLServer::SecurityChanged() {
  const bool integrated = m_optIntegratedSecurity->isChecked();
  for (QLineEdit* box : {m_txtUsername, m_txtPassword}) {
    box->setEnabled(!integrated);
    PaintLocked(box, integrated);
  }
  m_Label5->setEnabled(!integrated);
  m_Label6->setEnabled(!integrated);
}

std::string frmSQLServer::DataSourceText() const {
  return FromQ(m_cboServers->currentText());
}

void frmSQLServer::cmdOK_Click() {
  const bool integrated = m_optIntegratedSecurity->isChecked();
  const std::string login = FromQ(m_txtUsername->text());
  const std::string password = FromQ(m_txtPassword->text());
  if (DataSourceText().empty()) {
    MsgBox("Please enter a server name or IP-Address", MsgStyle::OkOnly, kComponentTitle);
    return;
  }
  m_cboServers->setEditText(m_cboServers->currentText().toUpper());
  const std::string dataSource = DataSourceText();
  try {
    if (m_Server == nullptr) {
      bool registered = false;
      {
        WaitCursor wait;
        commands::AddSQLServer(m_Servers, dataSource, integrated, login, password, &registered);
      }
      if (!registered) return;
    } else {
      m_Server->SetConnectionString(
          commands::BuildRegistrationString(dataSource, integrated, login, password));
    }
  } catch (const Error& error) {
    MsgBox(ErrorReport(63, error), MsgStyle::Information);
    return;
  }
  accept();
}

void frmSQLServer::cmdTest_Click() {
  WaitCursor wait;
  commands::TestSQLServer(DataSourceText(), m_optIntegratedSecurity->isChecked(),
                          FromQ(m_txtUsername->text()), FromQ(m_txtPassword->text()));
}

}  // namespace bw
