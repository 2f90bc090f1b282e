// Saves a picture of every dialog and wizard page, as an administrator sees
// them against a started sqlstandin, to the screenshot folder; a person
// looks at them for clipped texts and odd layouts. Each picture is taken
// after the dialog is laid out at its own size.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <memory>

#include "UiStandin.h"
#include "archives/Databases.h"
#include "dialogs/archives/frmChangeOwner.h"
#include "dialogs/archives/frmFolderBrowser.h"
#include "dialogs/archives/frmNewArchiveWizard.h"
#include "dialogs/archives/frmOpenArchive.h"
#include "dialogs/servers/frmAccountPicker.h"
#include "dialogs/servers/frmSQLServer.h"
#include "dialogs/widgets/QtMessageService.h"
#include "servers/Server.h"
#include "support/StringTable.h"

using namespace bw;
using bw::uitest::Child;
using bw::uitest::SaveScreenshot;
using bw::uitest::UiStandin;

namespace {

// The dialog with a visible balloon painted where it floats.
void SaveWithBalloon(QWidget* dialog, QWidget* balloon, const QString& name) {
  QPixmap picture = dialog->grab();
  if (balloon != nullptr && balloon->isVisible()) {
    QPainter painter(&picture);
    painter.drawPixmap(dialog->mapFromGlobal(balloon->geometry().topLeft()), balloon->grab());
  }
  QDir().mkpath(BW_SCREENSHOT_DIR);
  picture.save(QString(BW_SCREENSHOT_DIR) + "/" + name + ".png");
}

void Show(QWidget* dialog) {
  dialog->show();
  dialog->adjustSize();
  QApplication::processEvents();
}

}  // namespace

class ScreenshotsTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<UiStandin> m_Standin;

 private slots:
  void initTestCase() {
    m_Standin = std::make_unique<UiStandin>();
    m_Standin->MakeFile("Data/a.mdf");
    m_Standin->MakeFile("Logs/x.ldf");
  }
  void cleanupTestCase() { m_Standin.reset(); }

  void RegistrationDialog() {
    frmSQLServer add(m_Standin->GetServers());
    Show(&add);
    add.findChild<QComboBox*>("cboServers")->setEditText("SRV1");
    SaveScreenshot(&add, "frmSQLServer-add");

    Server& server = m_Standin->RegisteredServer();
    frmSQLServer edit(m_Standin->GetServers());
    edit.setWindowTitle(QString::fromStdString(LoadResString(310)));
    edit.SetServer(&server);
    Show(&edit);
    SaveScreenshot(&edit, "frmSQLServer-edit");
  }

  void AccountPicker() {
    frmAccountPicker picker("Add Users and Groups", {"HOST\\alice", "HOST\\bob", "HOST\\staff"});
    Show(&picker);
    SaveScreenshot(&picker, "frmAccountPicker");
  }

  void WizardPages() {
    Databases& catalogue = m_Standin->RegisteredServer().Databases();
    frmNewArchiveWizard wizard(catalogue);
    Show(&wizard);
    SaveScreenshot(&wizard, "frmNewArchiveWizard-1-welcome");
    QTest::keyClick(&wizard, Qt::Key_Return);
    SaveScreenshot(&wizard, "frmNewArchiveWizard-2-name");
    QLineEdit* name = Child<QLineEdit>(&wizard, "txtArchiveName");
    name->setText("Bad-Name");
    QTest::keyClick(name, Qt::Key_Return);
    SaveWithBalloon(&wizard, wizard.Tooltips().Window(), "frmNewArchiveWizard-2-balloon");
    name->setText("Shots");
    QTest::keyClick(name, Qt::Key_Return);
    SaveScreenshot(&wizard, "frmNewArchiveWizard-3-file");
    QLineEdit* path = Child<QLineEdit>(&wizard, "txtArchivePath");
    path->setText("Shots.mdf");
    QTest::keyClick(path, Qt::Key_Return);
    SaveWithBalloon(&wizard, wizard.Tooltips().Window(), "frmNewArchiveWizard-3-balloon");
    path->setText("D:\\Data\\Shots.mdf");
    QTest::keyClick(path, Qt::Key_Return);
    QCOMPARE(wizard.CurrentPage(), 4);
    SaveScreenshot(&wizard, "frmNewArchiveWizard-4-result");
  }

  void FolderBrowser() {
    frmFolderBrowser browser;
    browser.SetServer(&m_Standin->RegisteredServer());
    browser.SetFoldersOnly(false);
    browser.SetFileExtension("mdf");
    browser.setWindowTitle(QString::fromStdString(LoadResString(307)));
    browser.lblHeader()->setText("Select a database file on SRV1:");
    Show(&browser);
    QTreeWidget* tree = browser.TreeView1();
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
      QTreeWidgetItem* drive = tree->topLevelItem(i);
      if (!drive->text(0).startsWith("D:")) continue;
      drive->setExpanded(true);
      for (int j = 0; j < drive->childCount(); ++j) drive->child(j)->setExpanded(true);
      tree->setCurrentItem(drive->child(0));
    }
    SaveScreenshot(&browser, "frmFolderBrowser-files");
  }

  void OpenArchive() {
    frmOpenArchive dialog(m_Standin->RegisteredServer().Databases());
    Show(&dialog);
    Child<QLineEdit>(&dialog, "txtDatabaseName")->setText("Contracts");
    Child<QLineEdit>(&dialog, "txtMDFFilename")->setText("D:\\Data\\Contracts.mdf");
    SaveScreenshot(&dialog, "frmOpenArchive");
  }

  void ChangeOwner() {
    Databases& catalogue = m_Standin->RegisteredServer().Databases();
    QVERIFY(catalogue.Count() > 0);
    frmChangeOwner dialog(*catalogue.Item(1L));
    Show(&dialog);
    SaveScreenshot(&dialog, "frmChangeOwner");
  }

  void MessageBox() {
    uitest::WhenModal<QMessageBox>([](QMessageBox* box) {
      box->adjustSize();
      QApplication::processEvents();
      SaveScreenshot(box, "MessageBox-question");
      box->done(0);
    });
    QtMessageService service;
    service.Show("Do you really want to delete the archive 'Contracts'?\rIts documents are lost.",
                 MsgStyle::YesNo | MsgStyle::Exclamation | MsgStyle::DefaultButton2,
                 kMessageCaption);
  }
};

QTEST_MAIN(ScreenshotsTest)
#include "screenshots_test.moc"
