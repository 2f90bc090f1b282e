// The registration dialog and the account picker, driven as an
// administrator would against a started sqlstandin: the connection strings
// it stores, the host it probes, the Test button's answers, edit mode, and
// the picker's DOMAIN\account lines through the network-browsing seam.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <memory>

#include "UiStandin.h"
#include "dialogs/servers/frmAccountPicker.h"
#include "dialogs/servers/frmSQLServer.h"
#include "platform/Echo.h"
#include "servers/Server.h"
#include "servers/cNet.h"
#include "support/Placeholders.h"
#include "support/StringTable.h"

using namespace bw;
using bw::uitest::Child;
using bw::uitest::UiStandin;

namespace {

// Answers echoes as told and remembers where they went.
class RecordingEcho : public platform::EchoService {
 public:
  platform::EchoReply Echo(const platform::EchoRequest& request) override {
    addresses.push_back(request.address);
    platform::EchoReply reply;
    reply.status = answer ? platform::kEchoSuccess : platform::kEchoTimedOut;
    return reply;
  }
  bool answer = true;
  std::vector<std::string> addresses;
};

struct Form {
  explicit Form(frmSQLServer& dialog)
      : servers(Child<QComboBox>(&dialog, "cboServers")),
        integrated(Child<QRadioButton>(&dialog, "optIntegratedSecurity")),
        serverSecurity(Child<QRadioButton>(&dialog, "optServerSecurity")),
        login(Child<QLineEdit>(&dialog, "txtUsername")),
        password(Child<QLineEdit>(&dialog, "txtPassword")),
        ok(Child<QPushButton>(&dialog, "cmdOK")),
        test(Child<QPushButton>(&dialog, "cmdTest")) {}
  void Fill(const QString& server, const QString& user, const QString& secret) {
    servers->lineEdit()->clear();
    QTest::keyClicks(servers->lineEdit(), server);
    QTest::mouseClick(serverSecurity, Qt::LeftButton);
    login->clear();
    QTest::keyClicks(login, user);
    password->clear();
    QTest::keyClicks(password, secret);
  }
  QComboBox* servers;
  QRadioButton* integrated;
  QRadioButton* serverSecurity;
  QLineEdit* login;
  QLineEdit* password;
  QPushButton* ok;
  QPushButton* test;
};

}  // namespace

class ServerDialogsTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<UiStandin> m_Standin;
  RecordingEcho m_Echo;

  std::string Port() const { return std::to_string(m_Standin->Process().Port()); }

 private slots:
  void initTestCase() {
    m_Standin = std::make_unique<UiStandin>();
    platform::SetEchoService(&m_Echo);
  }
  void cleanupTestCase() {
    platform::SetEchoService(nullptr);
    m_Standin.reset();
  }
  void init() {
    m_Echo.answer = true;
    m_Echo.addresses.clear();
    m_Standin->TakeMessages();
  }

  void OkRegistersTheServerUpperCased() {
    Servers& servers = m_Standin->GetServers();
    const long before = servers.Count();
    frmSQLServer dialog(servers);
    dialog.show();
    Form form(dialog);
    form.Fill(QString::fromStdString("localhost," + Port()), "sa", UiStandin::kSaPassword);
    QTest::keyClick(form.password, Qt::Key_Return);  // Enter presses OK
    QVERIFY(!dialog.isVisible());
    QCOMPARE(form.servers->currentText(), QString::fromStdString("LOCALHOST," + Port()));
    QCOMPARE(servers.Count(), before + 1);
    const std::string stored = servers.Item(servers.Count())->ConnectionString();
    QCOMPARE(stored, "Provider=SQLOLEDB;Data Source=LOCALHOST," + Port() +
                         ";User Id=sa;Password=" + UiStandin::kSaPassword + ";");
    // The dialog's probe, then the new server's own before it connects.
    QVERIFY(!m_Echo.addresses.empty());
    for (const std::string& address : m_Echo.addresses) QCOMPARE(address, std::string("127.0.0.1"));
  }

  void EmptyServerNameIsRefused() {
    frmSQLServer dialog(m_Standin->GetServers());
    dialog.show();
    QTest::mouseClick(Child<QPushButton>(&dialog, "cmdOK"), Qt::LeftButton);
    QVERIFY(dialog.isVisible());
    const auto& shown = m_Standin->Messages().History().back();
    QCOMPARE(shown.text, std::string("Please enter a server name or IP-Address"));
    QCOMPARE(shown.style, MsgStyle::OkOnly);
    QCOMPARE(shown.caption, std::string(kComponentTitle));
    QVERIFY(m_Echo.addresses.empty());
  }

  // HOST\INST is probed as HOST; a silent host keeps the dialog open.
  void SilentHostKeepsTheDialogOpen() {
    const long before = m_Standin->GetServers().Count();
    frmSQLServer dialog(m_Standin->GetServers());
    dialog.show();
    Form form(dialog);
    m_Echo.answer = false;
    form.Fill("localhost\\inst", "sa", "x");
    QTest::mouseClick(form.ok, Qt::LeftButton);
    QVERIFY(dialog.isVisible());
    QCOMPARE(m_Echo.addresses, std::vector<std::string>{"127.0.0.1"});
    QCOMPARE(m_Standin->TakeMessages(),
             std::vector<std::string>{FormatResString(211, {std::string("LOCALHOST\\INST")})});
    QCOMPARE(m_Standin->GetServers().Count(), before);
  }

  void TestReportsTheConnection() {
    frmSQLServer dialog(m_Standin->GetServers());
    dialog.show();
    Form form(dialog);
    form.Fill(QString::fromStdString(m_Standin->DataSource()), "sa", UiStandin::kSaPassword);
    QTest::mouseClick(form.test, Qt::LeftButton);
    QCOMPARE(m_Standin->TakeMessages(), std::vector<std::string>{LoadResString(212)});

    form.Fill(QString::fromStdString(m_Standin->DataSource()), "sa", "wrong");
    QTest::mouseClick(form.test, Qt::LeftButton);
    const auto failed = m_Standin->TakeMessages();
    QCOMPARE(failed.size(), std::size_t(1));
    const std::string lead = LoadResString(214).substr(0, LoadResString(214).find("[*]"));
    QVERIFY2(failed[0].starts_with(lead.substr(0, lead.find('\n'))), failed[0].c_str());
    QVERIFY(dialog.isVisible());
  }

  void EditModeReadsTheStoredLogin() {
    const struct {
      const char* stored;
      bool integrated;
      const char* login;
      const char* password;
    } rows[] = {
        {"Provider=SQLOLEDB;Data Source=SRV1;Integrated Security=SSPI;", true, "", ""},
        {"Provider=SQLOLEDB;Data Source=SRV1;User Id=admin;Password=ends here", false, "admin",
         "ends here"},
        {"Provider=SQLOLEDB;Data Source=SRV1;User Id=admin;", false, "admin", ""},
    };
    for (const auto& row : rows) {
      Server server;
      server.SetConnectionString(row.stored);
      frmSQLServer dialog(m_Standin->GetServers());
      dialog.setWindowTitle(QString::fromStdString(LoadResString(310)));
      dialog.SetServer(&server);
      dialog.show();
      Form form(dialog);
      QCOMPARE(form.integrated->isChecked(), row.integrated);
      QCOMPARE(form.login->text(), QString(row.login));
      QCOMPARE(form.password->text(), QString(row.password));
      QCOMPARE(form.login->isEnabled(), !row.integrated);
      QVERIFY(form.servers->lineEdit()->isReadOnly());
      QVERIFY(!Child<QPushButton>(&dialog, "cmdRefresh")->isEnabled());
    }
  }

  // Edit mode stores the new string without connecting; an empty password
  // leaves it out.
  void EditModeStoresTheChangedLogin() {
    Server& server = m_Standin->RegisteredServer();
    frmSQLServer dialog(m_Standin->GetServers());
    dialog.SetServer(&server);
    dialog.show();
    Form form(dialog);
    QCOMPARE(form.servers->currentText(), QString::fromStdString(server.Name()));
    form.password->clear();
    form.login->setText("reader");
    QTest::mouseClick(form.ok, Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(server.ConnectionString(),
             "Provider=SQLOLEDB;Data Source=" +
                 QString::fromStdString(server.Name()).toUpper().toStdString() +
                 ";User Id=reader;");
    QVERIFY(m_Echo.addresses.empty());
  }

  void AccountPickerReturnsDomainAccountLines() {
    frmAccountPicker::Install();
    cNet net;
    std::string names = "kept";
    uitest::WhenModal<frmAccountPicker>(
        [](frmAccountPicker* picker) { QTest::keyClick(picker, Qt::Key_Escape); });
    QVERIFY(!net.GetBrowserNames(0, "Add Users and Groups", 43, names));
    QCOMPARE(names, std::string("kept"));

    std::vector<std::string> chosen;
    uitest::WhenModal<frmAccountPicker>([&chosen](frmAccountPicker* picker) {
      QCOMPARE(picker->windowTitle(), QString("Add Users and Groups"));
      QListWidget* list = Child<QListWidget>(picker, "lstAccounts");
      QVERIFY(list->count() >= 2);
      list->item(0)->setSelected(true);
      list->item(1)->setSelected(true);
      chosen = picker->Selection();
      QTest::mouseClick(Child<QPushButton>(picker, "cmdOK"), Qt::LeftButton);
    });
    names.clear();
    QVERIFY(net.GetBrowserNames(0, "Add Users and Groups", 43, names));
    QCOMPARE(chosen.size(), std::size_t(2));
    QCOMPARE(names, chosen[0] + "\r\n" + chosen[1]);
    QVERIFY(chosen[0].find('\\') != std::string::npos);
  }

  void AccountPickerFilters() {
    frmAccountPicker picker("Pick", {"HOST\\alice", "HOST\\bob", "HOST\\staff"});
    picker.show();
    QListWidget* list = Child<QListWidget>(&picker, "lstAccounts");
    list->selectAll();
    QTest::keyClicks(Child<QLineEdit>(&picker, "txtFilter"), "AL");
    QCOMPARE(picker.Selection(), std::vector<std::string>{"HOST\\alice"});
  }
};

QTEST_MAIN(ServerDialogsTest)
#include "server_dialogs_test.moc"
