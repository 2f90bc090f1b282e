// The whole path through the Qt dialog service, as a new user would walk it:
// register the stand-in with the registration dialog, create an archive
// with the wizard (its folder chosen in the browser), detach it, open it
// again with the Open Server Archive dialog, change its owner.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <memory>

#include "UiStandin.h"
#include "archives/Databases.h"
#include "commands/ArchiveCommands.h"
#include "commands/DialogService.h"
#include "dialogs/QtDialogService.h"
#include "dialogs/archives/frmChangeOwner.h"
#include "dialogs/archives/frmFolderBrowser.h"
#include "dialogs/archives/frmNewArchiveWizard.h"
#include "dialogs/archives/frmOpenArchive.h"
#include "dialogs/servers/frmSQLServer.h"
#include "servers/Server.h"
#include "support/StringTable.h"

using namespace bw;
using bw::uitest::Child;
using bw::uitest::UiStandin;
using bw::uitest::WhenModal;

namespace {

// In the browser: opens the path's folders one by one, selects the last
// and presses Enter.
void Choose(frmFolderBrowser* browser, const QString& path) {
  QTreeWidget* tree = browser->TreeView1();
  QString prefix;
  QTreeWidgetItem* item = nullptr;
  for (const QString& part : path.split('\\', Qt::SkipEmptyParts)) {
    prefix += part + "\\";
    item = nullptr;
    for (QTreeWidgetItem* candidate :
         tree->findItems("*", Qt::MatchWildcard | Qt::MatchRecursive)) {
      const QString key = candidate->data(0, Qt::UserRole).toString();
      if (key == prefix || key == prefix.chopped(1)) item = candidate;
    }
    if (item == nullptr) return;
    item->setExpanded(true);
  }
  tree->setCurrentItem(item);
  QTest::keyClick(browser, Qt::Key_Return);
}

Database* Find(Databases& catalogue, const std::string& name) {
  for (Database* archive : catalogue.NewEnum()) {
    if (archive->Name() == name) return archive;
  }
  return nullptr;
}

}  // namespace

class DialogServiceTest : public QObject {
  Q_OBJECT

 private slots:
  void RegisterCreateDetachOpenChangeOwner() {
    UiStandin standin;
    standin.MakeFile("Data/readme.txt");
    standin.Admin().Execute("EXEC sp_addlogin 'carol', 'Carol-Pw-1'");
    std::unique_ptr<DialogService> service = CreateQtDialogService();
    SetDialogService(service.get());
    Servers& servers = standin.GetServers();

    WhenModal<frmSQLServer>([&standin](frmSQLServer* dialog) {
      QCOMPARE(dialog->windowTitle(), QString::fromStdString(LoadResString(225)));
      QComboBox* server = Child<QComboBox>(dialog, "cboServers");
      server->lineEdit()->clear();
      QTest::keyClicks(server->lineEdit(), QString::fromStdString(standin.DataSource()));
      QTest::keyClicks(Child<QLineEdit>(dialog, "txtUsername"), "sa");
      QTest::keyClicks(Child<QLineEdit>(dialog, "txtPassword"), UiStandin::kSaPassword);
      QTest::keyClick(Child<QLineEdit>(dialog, "txtPassword"), Qt::Key_Return);
    });
    Dialogs().ShowSQLServer(servers, nullptr, 225);
    QCOMPARE(servers.Count(), 1L);
    Server* server = servers.Item(1L);
    QVERIFY(server != nullptr && server->IsConnected());
    Databases& catalogue = server->Databases();
    const long before = catalogue.Count();

    WhenModal<frmNewArchiveWizard>([](frmNewArchiveWizard* wizard) {
      QTest::keyClick(wizard, Qt::Key_Return);
      QLineEdit* name = Child<QLineEdit>(wizard, "txtArchiveName");
      QTest::keyClicks(name, "Journal");
      QTest::keyClick(name, Qt::Key_Return);
      WhenModal<frmFolderBrowser>([](frmFolderBrowser* browser) { Choose(browser, "D:\\Data\\"); });
      QTest::mouseClick(Child<QPushButton>(wizard, "cmdDurchsuchenZielordner"), Qt::LeftButton);
      QLineEdit* path = Child<QLineEdit>(wizard, "txtArchivePath");
      QCOMPARE(path->text(), QString("D:\\Data\\Journal.mdf"));
      QTest::keyClick(path, Qt::Key_Return);
      QCOMPARE(wizard->CurrentPage(), 4);
      QTest::keyClick(wizard, Qt::Key_Return);  // Close
    });
    Dialogs().ShowNewArchiveWizard(catalogue);
    QCOMPARE(catalogue.Count(), before + 1);
    Database* journal = Find(catalogue, "Journal");
    QVERIFY(journal != nullptr);

    QCOMPARE(commands::CloseDatabase(catalogue, *journal), commands::Outcome::Done);
    QCOMPARE(catalogue.Count(), before);

    WhenModal<frmOpenArchive>([](frmOpenArchive* dialog) {
      QTest::keyClicks(Child<QLineEdit>(dialog, "txtDatabaseName"), "Journal");
      WhenModal<frmFolderBrowser>(
          [](frmFolderBrowser* browser) { Choose(browser, "D:\\Data\\Journal.mdf"); });
      QTest::mouseClick(Child<QPushButton>(dialog, "cmdSelectMDF"), Qt::LeftButton);
      QTest::keyClick(Child<QLineEdit>(dialog, "txtDatabaseName"), Qt::Key_Return);
    });
    Dialogs().ShowOpenArchive(catalogue);
    QCOMPARE(catalogue.Count(), before + 1);
    journal = Find(catalogue, "Journal");
    QVERIFY(journal != nullptr);

    WhenModal<frmChangeOwner>([](frmChangeOwner* dialog) {
      QComboBox* logins = Child<QComboBox>(dialog, "cmbLoginName");
      QVERIFY(logins->findText("carol") >= 0);
      logins->setCurrentIndex(logins->findText("carol"));
      QTest::keyClick(logins, Qt::Key_Return);
    });
    Dialogs().ShowChangeOwner(*journal);
    Recordset help;
    help.Open("sp_helpdb @dbname='Brindlewick_Journal'", &standin.Admin());
    QCOMPARE(QString::fromStdString(help.Value("owner").ToText()).trimmed(), QString("carol"));

    SetDialogService(nullptr);
    for (const auto& shown : standin.Messages().History()) {
      // Only the detach's question; no error along the way.
      QCOMPARE(shown.style & MsgStyle::IconMask, MsgStyle::Question);
    }
  }
};

QTEST_MAIN(DialogServiceTest)
#include "dialog_service_test.moc"
