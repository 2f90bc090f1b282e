// The four security dialogs driven through their widgets against a started
// sqlstandin: the Add Login wizard creates a login with archive access, the
// login properties deny and re-grant it and change a password through the
// password dialog, and the archive user dialog adds a user with nested
// roles. Each dialog leaves a screenshot.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

#include <filesystem>
#include <fstream>

#include "StandinProcess.h"
#include "TabOrder.h"
#include "archives/Databases.h"
#include "data/ConnectionString.h"
#include "dialogs/security/frmLogin.h"
#include "dialogs/security/frmPassword.h"
#include "dialogs/security/frmUser.h"
#include "dialogs/security/frmUserWizard.h"
#include "servers/Servers.h"
#include "support/MessageService.h"
#include "support/StringTable.h"

namespace bw {

class SecurityDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void cleanupTestCase();
  void AddLoginWizardCreatesALoginWithArchiveAccess();
  void LoginPropertiesDenyAndChangeThePassword();
  void PasswordDialogRefusesADifferentConfirmation();
  void ArchiveUserDialogAddsAUserWithNestedRoles();
  void KeyboardReachesEveryControlInReadingOrder();

 private:
  std::string Registration(const std::string& login, const std::string& password) const {
    return "Provider=SQLOLEDB;" +
           OleDbPair("Data Source", "127.0.0.1," + std::to_string(m_Standin->Port())) +
           OleDbPair("User Id", login) + OleDbPair("Password", password);
  }
  std::string Scalar(const std::string& sql) {
    Recordset rs;
    rs.Open(sql, &m_Server->GetConnection());
    return rs.Eof() ? "" : rs.Value(0).ToText();
  }
  template <typename W>
  static W* Child(QWidget* dialog, const char* name) {
    W* widget = dialog->findChild<W*>(QString::fromLatin1(name));
    if (widget == nullptr) qFatal("no %s", name);
    return widget;
  }
  static void Shot(QWidget* dialog, const char* name) {
    QDir().mkpath(QStringLiteral(BW_SCREENSHOT_DIR));
    QVERIFY(dialog->grab().save(QStringLiteral(BW_SCREENSHOT_DIR "/") + QLatin1String(name) +
                                QStringLiteral(".png")));
  }

  std::unique_ptr<standin::integration::StandinProcess> m_Standin;
  std::filesystem::path m_Home;
  ScriptedMessageService m_Messages;
  std::unique_ptr<Servers> m_Servers;
  Server* m_Server = nullptr;
  Database* m_Archive = nullptr;
};

void SecurityDialogsTest::initTestCase() {
  m_Standin = std::make_unique<standin::integration::StandinProcess>();
  m_Standin->Start();
  std::ofstream(m_Standin->DataDir() / "accounts.txt") << "user SHOP\\dora\n";
  m_Home = std::filesystem::temp_directory_path() /
           ("bw-ui-security-" + std::to_string(QCoreApplication::applicationPid()));
  std::filesystem::remove_all(m_Home);
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(m_Home.string()));
  SetMessageService(&m_Messages);
  m_Servers = std::make_unique<Servers>();
  std::string registration = Registration("sa", m_Standin->kSaPassword);
  m_Server = m_Servers->Add(registration);
  QVERIFY(m_Server != nullptr);
  m_Archive = m_Server->Databases().AddNew(
      "Atlas", "C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data\\Atlas.mdf");
  QVERIFY(m_Archive != nullptr);
  m_Server->GetConnection().Execute("EXEC sp_addlogin 'mapper', 'Mapper-pw-1'");
}

void SecurityDialogsTest::cleanupTestCase() {
  m_Servers.reset();
  SetMessageService(nullptr);
  m_Standin.reset();
  std::filesystem::remove_all(m_Home);
}

void SecurityDialogsTest::AddLoginWizardCreatesALoginWithArchiveAccess() {
  frmUserWizard wizard(*m_Server);
  wizard.show();
  auto* next = Child<QPushButton>(&wizard, "cmdWeiter");
  QTest::mouseClick(next, Qt::LeftButton);
  QVERIFY(Child<QWidget>(&wizard, "pic2")->isVisible());
  Child<QRadioButton>(&wizard, "optSQLServerAuthentication")->click();
  QTest::mouseClick(next, Qt::LeftButton);
  QVERIFY(Child<QWidget>(&wizard, "pic3")->isVisible());
  QVERIFY(!Child<QWidget>(&wizard, "picAccess")->isVisible());

  QTest::keyClicks(Child<QLineEdit>(&wizard, "txtLoginName"), QStringLiteral("o'keefe"));
  QTest::keyClicks(Child<QLineEdit>(&wizard, "txtPassword"), QStringLiteral("It's-pw-1"));
  QTest::mouseClick(next, Qt::LeftButton);
  QCOMPARE(wizard.BalloonText(), QString::fromStdString(LoadResString(254)).replace('\r', ""));
  Shot(&wizard, "frmUserWizard-balloon");
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (top->inherits("QTipLabel") && top->isVisible()) Shot(top, "frmUserWizard-balloon-tip");
  }
  QTest::keyClicks(Child<QLineEdit>(&wizard, "txtPassword2"), QStringLiteral("It's-pw-1"));
  QTest::mouseClick(next, Qt::LeftButton);
  auto* archives = Child<QListWidget>(&wizard, "lstDatabases");
  QVERIFY(archives->isVisible());
  QCOMPARE(archives->count(), 1);
  archives->item(0)->setCheckState(Qt::Checked);
  Shot(&wizard, "frmUserWizard-archives");
  QTest::mouseClick(next, Qt::LeftButton);
  QVERIFY2(m_Messages.History().empty(),
           m_Messages.History().empty() ? "" : m_Messages.History().back().text.c_str());
  QCOMPARE(next->text(), QString::fromStdString(LoadResString(136)));
  Shot(&wizard, "frmUserWizard-result");
  QTest::mouseClick(next, Qt::LeftButton);
  QCOMPARE(wizard.result(), int(QDialog::Accepted));
  QCOMPARE(Scalar("SELECT COUNT(*) FROM Brindlewick_Atlas..sysusers WHERE name = 'o''keefe'"),
           std::string("1"));
}

void SecurityDialogsTest::LoginPropertiesDenyAndChangeThePassword() {
  m_Server->GetConnection().Execute("EXEC sp_grantlogin 'SHOP\\dora'");
  {
    frmLogin dialog(*m_Server, "SHOP\\dora");
    dialog.show();
    QVERIFY(Child<QRadioButton>(&dialog, "optWindowsAuthentication")->isChecked());
    QVERIFY(!Child<QRadioButton>(&dialog, "optSQLServerAuthentication")->isEnabled());
    Child<QRadioButton>(&dialog, "optDenyLogin")->click();
    Shot(&dialog, "frmLogin-common");
    auto* tabs = Child<QTabWidget>(&dialog, "TabStrip1");
    tabs->setCurrentIndex(1);
    auto* roles = Child<QListWidget>(&dialog, "lstServerRoles");
    roles->setCurrentRow(2);
    roles->item(2)->setCheckState(Qt::Checked);
    Shot(&dialog, "frmLogin-serverroles");
    tabs->setCurrentIndex(2);
    Child<QListWidget>(&dialog, "lstDatabases")->item(0)->setCheckState(Qt::Checked);
    Shot(&dialog, "frmLogin-archives");
    QTest::mouseClick(Child<QPushButton>(&dialog, "cmdOK"), Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
  }
  QCOMPARE(Scalar("SELECT denylogin FROM master.dbo.syslogins WHERE loginname = 'SHOP\\dora'"),
           std::string("1"));
  QCOMPARE(Scalar("SELECT IS_SRVROLEMEMBER('dbcreator', 'SHOP\\dora')"), std::string("1"));

  // A SQL login's password, through the password dialog.
  frmLogin dialog(*m_Server, "mapper");
  dialog.show();
  QVERIFY(Child<QPushButton>(&dialog, "cmdChangePassword")->isVisible());
  QTimer::singleShot(0, this, [] {
    auto* password = qobject_cast<frmPassword*>(QApplication::activeModalWidget());
    QVERIFY(password != nullptr);
    Shot(password, "frmPassword");
    QTest::keyClicks(Child<QLineEdit>(password, "txtPassword"), QStringLiteral("New'pw-2"));
    QTest::keyClicks(Child<QLineEdit>(password, "txtPasswordRepeated"), QStringLiteral("New'pw-2"));
    QTest::mouseClick(Child<QPushButton>(password, "cmdOK"), Qt::LeftButton);
  });
  QTest::mouseClick(Child<QPushButton>(&dialog, "cmdChangePassword"), Qt::LeftButton);
  QVERIFY(dialog.State().PasswordChanged());
  QTest::mouseClick(Child<QPushButton>(&dialog, "cmdOK"), Qt::LeftButton);
  QCOMPARE(dialog.result(), int(QDialog::Accepted));
  Connection check;
  check.SetConnectionString(Registration("mapper", "New'pw-2"));
  check.Open();
  QVERIFY(m_Messages.History().empty());
}

void SecurityDialogsTest::PasswordDialogRefusesADifferentConfirmation() {
  frmPassword dialog;
  dialog.show();
  QTest::keyClicks(Child<QLineEdit>(&dialog, "txtPassword"), QStringLiteral("Secret"));
  QTest::keyClicks(Child<QLineEdit>(&dialog, "txtPasswordRepeated"), QStringLiteral("secret"));
  QTest::mouseClick(Child<QPushButton>(&dialog, "cmdOK"), Qt::LeftButton);
  QVERIFY(dialog.isVisible());
  QCOMPARE(m_Messages.History().size(), std::size_t{1});
  QCOMPARE(m_Messages.History().back().text, LoadResString(167));
}

void SecurityDialogsTest::ArchiveUserDialogAddsAUserWithNestedRoles() {
  frmUser dialog(*m_Archive, "", "");
  dialog.show();
  auto* logins = Child<QComboBox>(&dialog, "cmbLoginName");
  QVERIFY(logins->findText(QStringLiteral("sa")) < 0);
  QVERIFY(logins->findText(QStringLiteral("o'keefe")) < 0);  // already a user
  const int mapper = logins->findText(QStringLiteral("mapper"));
  QVERIFY(mapper >= 0);
  logins->setCurrentIndex(mapper);
  auto* user = Child<QLineEdit>(&dialog, "txtDBUsername");
  QCOMPARE(user->text(), QStringLiteral("mapper"));
  auto* roles = Child<QListWidget>(&dialog, "lstDatabaseRoles");
  QCOMPARE(roles->count(), 6);
  roles->item(0)->setCheckState(Qt::Unchecked);  // reader off takes writer and structure
  QCOMPARE(roles->item(2)->checkState(), Qt::Unchecked);
  roles->item(1)->setCheckState(Qt::Checked);  // writer brings reader back
  QCOMPARE(roles->item(0)->checkState(), Qt::Checked);
  roles->setCurrentRow(1);
  Shot(&dialog, "frmUser");
  QTest::mouseClick(Child<QPushButton>(&dialog, "cmdOK"), Qt::LeftButton);
  QCOMPARE(dialog.result(), int(QDialog::Accepted));
  m_Archive->GetConnection().Execute("SELECT 1");
  auto writers = m_Archive->RoleMembers("bw_writer");
  QVERIFY(std::find(writers.begin(), writers.end(), "mapper") != writers.end());
  auto structurers = m_Archive->RoleMembers("bw_structurer");
  QVERIFY(std::find(structurers.begin(), structurers.end(), "mapper") == structurers.end());

  frmUser properties(*m_Archive, "mapper", "mapper");
  properties.show();
  QVERIFY(!Child<QComboBox>(&properties, "cmbLoginName")->isVisible());
  QCOMPARE(Child<QListWidget>(&properties, "lstDatabaseRoles")->item(1)->checkState(), Qt::Checked);
  Shot(&properties, "frmUser-properties");
}

// Tab from the first focus reaches each control once, in reading order, on
// every wizard page and every tab of the properties.
void SecurityDialogsTest::KeyboardReachesEveryControlInReadingOrder() {
  auto verify = [](QWidget* dialog, const char* where) {
    const QStringList problems = uitest::TabOrderProblems(dialog);
    QVERIFY2(problems.isEmpty(), qPrintable(QLatin1String(where) + ": " + problems.join("; ")));
  };
  {
    frmUserWizard wizard(*m_Server);
    wizard.show();
    verify(&wizard, "wizard page 1");
    auto* next = Child<QPushButton>(&wizard, "cmdWeiter");
    QTest::mouseClick(next, Qt::LeftButton);
    verify(&wizard, "wizard page 2");
    Child<QRadioButton>(&wizard, "optSQLServerAuthentication")->click();
    QTest::mouseClick(next, Qt::LeftButton);
    verify(&wizard, "wizard page 3, SQL Server login");
    QTest::mouseClick(Child<QPushButton>(&wizard, "cmdZur_ck"), Qt::LeftButton);
    Child<QRadioButton>(&wizard, "optWindowsAuthentication")->click();
    QTest::mouseClick(next, Qt::LeftButton);
    verify(&wizard, "wizard page 3, Windows login");
  }
  {
    frmLogin dialog(*m_Server, "mapper");
    dialog.show();
    auto* tabs = Child<QTabWidget>(&dialog, "TabStrip1");
    for (int tab = 0; tab < tabs->count(); ++tab) {
      tabs->setCurrentIndex(tab);
      verify(&dialog, qPrintable("login properties tab " + QString::number(tab + 1)));
    }
  }
  {
    frmPassword dialog;
    dialog.show();
    verify(&dialog, "password");
  }
  {
    frmUser dialog(*m_Archive, "", "");
    dialog.show();
    verify(&dialog, "new archive user");
  }
}

}  // namespace bw

QTEST_MAIN(bw::SecurityDialogsTest)
#include "security_dialogs_test.moc"
