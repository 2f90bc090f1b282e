// Keyboard-only use of every server and archive dialog and wizard page: Tab
// reaches each control once, in the order the layout reads, and comes back.
#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include "TabOrder.h"
#include "UiStandin.h"
#include "archives/Databases.h"
#include "dialogs/archives/frmChangeOwner.h"
#include "dialogs/archives/frmFolderBrowser.h"
#include "dialogs/archives/frmNewArchiveWizard.h"
#include "dialogs/archives/frmOpenArchive.h"
#include "dialogs/servers/frmAccountPicker.h"
#include "dialogs/servers/frmSQLServer.h"
#include "servers/Server.h"

using namespace bw;
using bw::uitest::Child;
using bw::uitest::TabOrderProblems;
using bw::uitest::UiStandin;

namespace {

void Show(QWidget* dialog) {
  dialog->show();
  dialog->adjustSize();
  QApplication::processEvents();
}

#define VERIFY_TAB_ORDER(dialog)                                   \
  do {                                                             \
    const QStringList problems = TabOrderProblems(dialog);         \
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join("; "))); \
  } while (false)

}  // namespace

class KeyboardTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<UiStandin> m_Standin;

 private slots:
  void initTestCase() {
    m_Standin = std::make_unique<UiStandin>();
    m_Standin->MakeFile("Data/a.mdf");
  }
  void cleanupTestCase() { m_Standin.reset(); }

  void RegistrationDialog() {
    frmSQLServer dialog(m_Standin->GetServers());
    Show(&dialog);
    VERIFY_TAB_ORDER(&dialog);
  }

  void AccountPicker() {
    frmAccountPicker picker("Add Users and Groups", {"HOST\\alice", "HOST\\bob"});
    Show(&picker);
    VERIFY_TAB_ORDER(&picker);
  }

  void WizardPages() {
    frmNewArchiveWizard wizard(m_Standin->RegisteredServer().Databases());
    Show(&wizard);
    VERIFY_TAB_ORDER(&wizard);
    QTest::keyClick(&wizard, Qt::Key_Return);
    QCOMPARE(wizard.CurrentPage(), 2);
    VERIFY_TAB_ORDER(&wizard);
    QLineEdit* name = Child<QLineEdit>(&wizard, "txtArchiveName");
    name->setText("Keys");
    QTest::keyClick(name, Qt::Key_Return);
    QCOMPARE(wizard.CurrentPage(), 3);
    VERIFY_TAB_ORDER(&wizard);
  }

  void FolderBrowser() {
    frmFolderBrowser browser;
    browser.SetServer(&m_Standin->RegisteredServer());
    browser.SetFoldersOnly(true);
    Show(&browser);
    VERIFY_TAB_ORDER(&browser);
  }

  void OpenArchive() {
    frmOpenArchive dialog(m_Standin->RegisteredServer().Databases());
    Show(&dialog);
    VERIFY_TAB_ORDER(&dialog);
  }

  void ChangeOwner() {
    Databases& catalogue = m_Standin->RegisteredServer().Databases();
    if (catalogue.Count() == 0) {
      QVERIFY(catalogue.AddNew("Owned", "D:\\Data\\Owned.mdf") != nullptr);
    }
    frmChangeOwner dialog(*catalogue.Item(1L));
    Show(&dialog);
    VERIFY_TAB_ORDER(&dialog);
  }
};

QTEST_MAIN(KeyboardTest)
#include "keyboard_test.moc"
