// The archive dialogs driven as an administrator would, against a started
// sqlstandin whose drive D is a test folder: the folder browser, the Create
// Archive wizard (checks, balloon, browse, a failure and a second try), the
// Open Server Archive dialog and the Change Owner dialog.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
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
#include "servers/Server.h"
#include "support/StringTable.h"

using namespace bw;
using bw::uitest::Child;
using bw::uitest::UiStandin;

namespace {

QTreeWidgetItem* Node(QTreeWidget* tree, const QString& path) {
  QList<QTreeWidgetItem*> found = tree->findItems("*", Qt::MatchWildcard | Qt::MatchRecursive);
  for (QTreeWidgetItem* item : found) {
    if (item->data(0, Qt::UserRole).toString() == path) return item;
  }
  return nullptr;
}

QStringList ChildTexts(QTreeWidgetItem* item) {
  QStringList texts;
  for (int i = 0; i < item->childCount(); ++i) texts << item->child(i)->text(0);
  return texts;
}

// Opens `path` level by level ("D:\\Data\\" expands D:\ and then Data).
QTreeWidgetItem* ExpandTo(QTreeWidget* tree, const QString& path) {
  QString prefix;
  QTreeWidgetItem* item = nullptr;
  for (const QString& part : path.split('\\', Qt::SkipEmptyParts)) {
    prefix += part + "\\";
    item = Node(tree, prefix);
    if (item == nullptr) item = Node(tree, prefix.chopped(1));  // a file
    if (item == nullptr) return nullptr;
    item->setExpanded(true);
  }
  return item;
}

Database* Find(Databases& catalogue, const std::string& name) {
  for (Database* archive : catalogue.NewEnum()) {
    if (archive->Name() == name) return archive;
  }
  return nullptr;
}

QString Text(int id) {
  return QString::fromStdString(LoadResString(id));
}

}  // namespace

class ArchiveDialogsTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<UiStandin> m_Standin;
  Databases* m_Catalogue = nullptr;

  // Types into the wizard's current box and presses Enter.
  static void Type(QLineEdit* box, const QString& text) {
    box->clear();
    QTest::keyClicks(box, text);
  }

 private slots:
  void initTestCase() {
    m_Standin = std::make_unique<UiStandin>();
    m_Standin->MakeFile("Data/a.mdf");
    m_Standin->MakeFile("Data/a_log.ldf");
    m_Standin->MakeFile("Logs/x.ldf");
    m_Standin->MakeFile("root.mdf");
    m_Standin->MakeFile("Old/mdfnotes.txt");
    std::filesystem::create_directories(m_Standin->DriveD() / "Empty");
    m_Catalogue = &m_Standin->RegisteredServer().Databases();
  }

  void cleanupTestCase() { m_Standin.reset(); }

  void FolderBrowserListsFoldersLazily() {
    frmFolderBrowser browser;
    browser.SetServer(&m_Standin->RegisteredServer());
    browser.SetFoldersOnly(true);
    browser.show();
    QTreeWidget* tree = browser.TreeView1();
    QVERIFY(tree->topLevelItemCount() >= 2);
    QVERIFY(tree->topLevelItem(0)->text(0).startsWith("C:\\ ("));
    QTreeWidgetItem* drive = Node(tree, "D:\\");
    QVERIFY(drive != nullptr);
    QVERIFY(drive->text(0).endsWith(" MB free)"));
    QCOMPARE(ChildTexts(drive), QStringList{"HasChildren"});

    drive->setExpanded(true);
    QCOMPARE(ChildTexts(drive), (QStringList{"Data", "Empty", "Logs", "Old"}));
    // Listed once: a second expansion changes nothing.
    drive->setExpanded(false);
    drive->setExpanded(true);
    QCOMPARE(drive->childCount(), 4);

    QTreeWidgetItem* empty = Node(tree, "D:\\Empty\\");
    empty->setExpanded(true);
    QCOMPARE(empty->childCount(), 0);

    tree->setCurrentItem(Node(tree, "D:\\Data\\"));
    QTest::mouseClick(Child<QPushButton>(&browser, "cmdOK"), Qt::LeftButton);
    QCOMPARE(FolderBrowserResult(), std::string("D:\\Data\\"));
  }

  void FolderBrowserListsFilesOfTheExtension() {
    frmFolderBrowser browser;
    browser.SetServer(&m_Standin->RegisteredServer());
    browser.SetFoldersOnly(false);
    browser.SetFileExtension("mdf");
    browser.show();
    QTreeWidget* tree = browser.TreeView1();
    QTreeWidgetItem* drive = ExpandTo(tree, "D:\\");
    QCOMPARE(ChildTexts(drive), (QStringList{"Data", "Empty", "Logs", "Old", "root.mdf"}));
    QCOMPARE(ChildTexts(ExpandTo(tree, "D:\\Data\\")), QStringList{"a.mdf"});
    QTreeWidgetItem* logs = ExpandTo(tree, "D:\\Logs\\");
    QCOMPARE(ChildTexts(logs), QStringList{Text(96) + " (*.mdf)"});
    // The extension is found anywhere in the name.
    QCOMPARE(ChildTexts(ExpandTo(tree, "D:\\Old\\")), QStringList{"mdfnotes.txt"});

    // The note is no choice: OK returns nothing.
    tree->setCurrentItem(logs->child(0));
    QTest::keyClick(&browser, Qt::Key_Return);
    QCOMPARE(FolderBrowserResult(), std::string());
  }

  void FolderBrowserEscapeCancels() {
    FolderBrowserResult() = "before";
    frmFolderBrowser browser;
    browser.SetServer(&m_Standin->RegisteredServer());
    browser.show();
    browser.TreeView1()->setCurrentItem(Node(browser.TreeView1(), "D:\\"));
    QTest::keyClick(&browser, Qt::Key_Escape);
    QVERIFY(!browser.isVisible());
    QCOMPARE(FolderBrowserResult(), std::string());
  }

  void WizardChecksTheNameInOrder() {
    frmNewArchiveWizard wizard(*m_Catalogue);
    wizard.show();
    QLineEdit* name = Child<QLineEdit>(&wizard, "txtArchiveName");
    QPushButton* next = Child<QPushButton>(&wizard, "cmdWeiter");
    QVERIFY(!Child<QPushButton>(&wizard, "cmdZur_ck")->isEnabled());
    QTest::keyClick(&wizard, Qt::Key_Return);  // Enter presses Next
    QCOMPARE(wizard.CurrentPage(), 2);
    QCOMPARE(wizard.focusWidget(), static_cast<QWidget*>(name));

    const struct {
      const char* typed;
      int titleId;
      int textId;
    } rows[] = {
        {"", 0, 124},
        {"Bad-Name", 125, 126},
        {"Stra\xC3\x9F"
         "e",
         125, 126},
    };
    for (const auto& row : rows) {
      name->setText(QString::fromUtf8(row.typed));
      QTest::mouseClick(next, Qt::LeftButton);
      QCOMPARE(wizard.CurrentPage(), 2);
      BalloonTip* balloon = wizard.Tooltips().Window();
      QVERIFY2(wizard.Tooltips().IsTracking(name), row.typed);
      QCOMPARE(balloon->Text(), Text(row.textId));
      QCOMPARE(balloon->Title(), row.titleId == 0 ? QString(" ") : Text(row.titleId));
      QCOMPARE(balloon->IconKindShown(), 2);
      // The stem points into the name box.
      QVERIFY(name->rect().contains(name->mapFromGlobal(balloon->Anchor())));
    }
    // The space key never reaches the box; blanks pasted around a name go.
    name->clear();
    QTest::keyClicks(name, "Con tracts");
    QCOMPARE(name->text(), QString("Contracts"));
  }

  void CancelDoesNothingWhileABalloonWaits() {
    frmNewArchiveWizard wizard(*m_Catalogue);
    wizard.show();
    QPushButton* cancel = Child<QPushButton>(&wizard, "cmdAbbrechen");
    QTest::mouseClick(Child<QPushButton>(&wizard, "cmdWeiter"), Qt::LeftButton);
    QTest::mouseClick(Child<QPushButton>(&wizard, "cmdWeiter"), Qt::LeftButton);  // empty name
    QVERIFY(wizard.BalloonWaiting());
    QTest::mouseClick(cancel, Qt::LeftButton);
    QVERIFY(wizard.isVisible());
    QTest::qWait(750);
    QTest::mouseClick(cancel, Qt::LeftButton);  // dismisses the balloon only
    QVERIFY(wizard.isVisible());
    QVERIFY(!wizard.Tooltips().IsTracking(Child<QLineEdit>(&wizard, "txtArchiveName")));
    QTRY_VERIFY(!wizard.BalloonWaiting());
    QTest::keyClick(&wizard, Qt::Key_Escape);
    QVERIFY(!wizard.isVisible());
    QCOMPARE(wizard.result(), int(QDialog::Rejected));
  }

  // The whole wizard: a name, Browse to a folder, a failed creation, a
  // second try, the result page, Close.
  void WizardCreatesAnArchiveAfterAFailedTry() {
    const long before = m_Catalogue->Count();
    frmNewArchiveWizard wizard(*m_Catalogue);
    wizard.show();
    QLineEdit* name = Child<QLineEdit>(&wizard, "txtArchiveName");
    QLineEdit* path = Child<QLineEdit>(&wizard, "txtArchivePath");
    QTest::keyClick(&wizard, Qt::Key_Return);
    Type(name, "Contracts");
    QTest::keyClick(name, Qt::Key_Return);
    QCOMPARE(wizard.CurrentPage(), 3);
    const QString serverName = QString::fromStdString(m_Standin->RegisteredServer().Name());
    QCOMPARE(Child<QLabel>(&wizard, "Label4")->text(), Text(129).replace("[*]", serverName));

    uitest::WhenModal<frmFolderBrowser>([](frmFolderBrowser* browser) {
      QCOMPARE(browser->windowTitle(), Text(95));
      ExpandTo(browser->TreeView1(), "D:\\");
      browser->TreeView1()->setCurrentItem(Node(browser->TreeView1(), "D:\\Data\\"));
      QTest::mouseClick(Child<QPushButton>(browser, "cmdOK"), Qt::LeftButton);
    });
    QTest::mouseClick(Child<QPushButton>(&wizard, "cmdDurchsuchenZielordner"), Qt::LeftButton);
    QCOMPARE(path->text(), QString("D:\\Data\\Contracts.mdf"));

    // Cancelling the browser leaves the path as it is.
    uitest::WhenModal<frmFolderBrowser>(
        [](frmFolderBrowser* browser) { QTest::keyClick(browser, Qt::Key_Escape); });
    QTest::mouseClick(Child<QPushButton>(&wizard, "cmdDurchsuchenZielordner"), Qt::LeftButton);
    QCOMPARE(path->text(), QString("D:\\Data\\Contracts.mdf"));

    // A drive the server does not have: the error is reported and page 3
    // stays usable.
    m_Standin->TakeMessages();
    Type(path, "Q:\\Nowhere\\Contracts");
    QTest::keyClick(path, Qt::Key_Return);
    QCOMPARE(path->text(), QString("Q:\\Nowhere\\Contracts.mdf"));
    const auto messages = m_Standin->TakeMessages();
    QCOMPARE(messages.size(), std::size_t(1));
    QVERIFY(QString::fromStdString(messages[0]).startsWith(Text(137) + "\r"));
    QCOMPARE(wizard.CurrentPage(), 3);
    QVERIFY(path->isVisible() && path->isEnabled());
    for (const char* button : {"cmdZur_ck", "cmdWeiter", "cmdAbbrechen"}) {
      QVERIFY2(Child<QPushButton>(&wizard, button)->isEnabled(), button);
    }
    QCOMPARE(Child<QLabel>(&wizard, "Label6")->text(), Text(132));
    QCOMPARE(m_Catalogue->Count(), before);

    Type(path, "D:\\Data\\Contracts");
    QTest::keyClick(path, Qt::Key_Return);
    QCOMPARE(wizard.CurrentPage(), 4);
    QCOMPARE(m_Catalogue->Count(), before + 1);
    QVERIFY(Find(*m_Catalogue, "Contracts") != nullptr);
    QCOMPARE(Child<QLabel>(&wizard, "lblWillkommen")->text(), Text(134));
    QVERIFY(Child<QLabel>(&wizard, "Label10")->text().contains("'Contracts'"));
    QPushButton* close = Child<QPushButton>(&wizard, "cmdWeiter");
    QCOMPARE(close->text(), Text(136));
    QVERIFY(!Child<QPushButton>(&wizard, "cmdAbbrechen")->isEnabled());
    QVERIFY(!Child<QPushButton>(&wizard, "cmdZur_ck")->isEnabled());
    QTest::keyClick(&wizard, Qt::Key_Escape);  // Escape presses Close
    QVERIFY(!wizard.isVisible());
    QVERIFY(std::filesystem::exists(m_Standin->DriveD() / "Data" / "Contracts.mdf"));
  }

  void WizardRefusesAnExistingNameAndFile() {
    QVERIFY(Find(*m_Catalogue, "Contracts") != nullptr);
    frmNewArchiveWizard wizard(*m_Catalogue);
    wizard.show();
    QLineEdit* name = Child<QLineEdit>(&wizard, "txtArchiveName");
    QTest::keyClick(&wizard, Qt::Key_Return);
    name->setText("  Contracts ");
    QTest::keyClick(name, Qt::Key_Return);
    QCOMPARE(wizard.CurrentPage(), 2);
    QCOMPARE(wizard.Tooltips().Window()->Text(), Text(127));
    QCOMPARE(name->selectedText(), name->text());

    Type(name, "Other");
    QTest::keyClick(name, Qt::Key_Return);
    QLineEdit* path = Child<QLineEdit>(&wizard, "txtArchivePath");
    const struct {
      const char* typed;
      int textId;
    } rows[] = {
        {"Other", 130},
        {"", 130},
        {"D:\\Data\\Contracts.mdf", 131},
        {"D:\\Data\\a", 131},
    };
    for (const auto& row : rows) {
      Type(path, row.typed);
      QTest::keyClick(path, Qt::Key_Return);
      QCOMPARE(wizard.CurrentPage(), 3);
      QVERIFY2(wizard.Tooltips().IsTracking(name), row.typed);
      QCOMPARE(wizard.Tooltips().Window()->Text(), Text(row.textId));
      QVERIFY(path->rect().contains(path->mapFromGlobal(wizard.Tooltips().Window()->Anchor())));
    }
    // Back keeps the name typed before.
    QTest::mouseClick(Child<QPushButton>(&wizard, "cmdZur_ck"), Qt::LeftButton);
    QCOMPARE(wizard.CurrentPage(), 2);
    QCOMPARE(name->text(), QString("Other"));
  }

  void OpenArchiveChecksAndAttaches() {
    Database* contracts = Find(*m_Catalogue, "Contracts");
    QVERIFY(contracts != nullptr);
    QVERIFY(m_Catalogue->Remove(std::to_string(contracts->ArchiveID())));
    const long before = m_Catalogue->Count();

    frmOpenArchive dialog(*m_Catalogue);
    dialog.show();
    QLineEdit* name = Child<QLineEdit>(&dialog, "txtDatabaseName");
    QLineEdit* mdf = Child<QLineEdit>(&dialog, "txtMDFFilename");
    QLineEdit* ldf = Child<QLineEdit>(&dialog, "txtLDFFilename");
    m_Standin->TakeMessages();
    const struct {
      const char* name;
      const char* mdf;
      int textId;
    } rows[] = {
        {"", "", 151},
        {"Con tracts", "", 152},
        {"Con.tracts", "D:\\Data\\Contracts.mdf", 152},
        {"Contracts", "", 153},
    };
    for (const auto& row : rows) {
      name->setText(row.name);
      mdf->setText(row.mdf);
      QTest::keyClick(name, Qt::Key_Return);
      QVERIFY(dialog.isVisible());
      QCOMPARE(m_Standin->TakeMessages(), std::vector<std::string>{LoadResString(row.textId)});
    }

    ldf->setText("D:\\left\\over.ldf");
    uitest::WhenModal<frmFolderBrowser>([](frmFolderBrowser* browser) {
      QCOMPARE(browser->windowTitle(), Text(308));
      QTest::mouseClick(Child<QPushButton>(browser, "cmdCancel"), Qt::LeftButton);
    });
    QTest::mouseClick(Child<QPushButton>(&dialog, "cmdSelectLDF"), Qt::LeftButton);
    QCOMPARE(ldf->text(), QString());  // cancelling empties the box

    uitest::WhenModal<frmFolderBrowser>([](frmFolderBrowser* browser) {
      QCOMPARE(browser->windowTitle(), Text(307));
      QTreeWidgetItem* file = ExpandTo(browser->TreeView1(), "D:\\Data\\Contracts.mdf");
      QVERIFY(file != nullptr);
      browser->TreeView1()->setCurrentItem(file);
      QTest::keyClick(browser, Qt::Key_Return);
    });
    QTest::mouseClick(Child<QPushButton>(&dialog, "cmdSelectMDF"), Qt::LeftButton);
    QCOMPARE(mdf->text(), QString("D:\\Data\\Contracts.mdf"));

    // A file that is no archive's: the server's error, the dialog stays.
    name->setText("Contracts");
    mdf->setText("D:\\Data\\missing.mdf");
    QTest::keyClick(name, Qt::Key_Return);
    QVERIFY(dialog.isVisible());
    const auto& shown = m_Standin->Messages().History().back();
    QVERIFY(QString::fromStdString(shown.text).startsWith(Text(157) + "\r"));
    QCOMPARE(shown.style & MsgStyle::IconMask, MsgStyle::Critical);
    m_Standin->TakeMessages();

    mdf->setText("D:\\Data\\Contracts.mdf");
    QTest::keyClick(name, Qt::Key_Return);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(m_Catalogue->Count(), before + 1);
    QVERIFY(Find(*m_Catalogue, "Contracts") != nullptr);
  }

  void ChangeOwnerOffersOtherLoginsAndChangesTheOwner() {
    Connection& admin = m_Standin->Admin();
    admin.Execute("EXEC sp_addlogin 'alice', 'Alice-Pw-1'");
    admin.Execute("EXEC sp_addlogin 'bob', 'Bob-Pw-1'");
    admin.Execute("USE Brindlewick_Contracts");
    admin.Execute("EXEC sp_grantdbaccess 'bob'");
    admin.Execute("USE master");
    Database* archive = Find(*m_Catalogue, "Contracts");
    QVERIFY(archive != nullptr);

    auto ownerOf = [&] {
      Recordset help;
      help.Open("sp_helpdb @dbname='Brindlewick_Contracts'", &admin);
      return help.Value("owner").ToText();
    };
    {
      frmChangeOwner dialog(*archive);
      dialog.show();
      QCOMPARE(Child<QLabel>(&dialog, "lblOldOwner")->text(), QString("sa"));
      QComboBox* logins = Child<QComboBox>(&dialog, "cmbLoginName");
      QStringList offered;
      for (int i = 0; i < logins->count(); ++i) offered << logins->itemText(i);
      QVERIFY(!offered.contains("sa"));
      QVERIFY(offered.contains("alice") && offered.contains("bob"));

      m_Standin->TakeMessages();
      QTest::keyClick(logins, Qt::Key_Return);  // nothing chosen
      QCOMPARE(m_Standin->TakeMessages(), std::vector<std::string>{LoadResString(92)});
      logins->setEditText("SA");
      QTest::keyClick(logins, Qt::Key_Return);
      const auto same = m_Standin->TakeMessages();
      QCOMPARE(same.size(), std::size_t(1));
      QVERIFY(QString::fromStdString(same[0]).contains("already owns"));
      logins->setEditText("nobody");
      QTest::keyClick(logins, Qt::Key_Return);
      const auto failed = m_Standin->TakeMessages();
      QCOMPARE(failed.size(), std::size_t(1));
      QVERIFY(QString::fromStdString(failed[0]).startsWith(Text(93) + "\r"));
      QVERIFY(dialog.isVisible());

      // bob is a user of the archive: that user goes, then bob owns it.
      logins->setCurrentIndex(logins->findText("bob"));
      QTest::mouseClick(Child<QPushButton>(&dialog, "cmdOK"), Qt::LeftButton);
      QVERIFY(!dialog.isVisible());
    }
    QCOMPARE(QString::fromStdString(ownerOf()), QString("bob"));
    frmChangeOwner again(*archive);
    QCOMPARE(Child<QLabel>(&again, "lblOldOwner")->text(), QString("bob"));
    QComboBox* logins = Child<QComboBox>(&again, "cmbLoginName");
    QVERIFY(logins->findText("bob") < 0);
    QVERIFY(logins->findText("sa") >= 0);
  }
};

QTEST_MAIN(ArchiveDialogsTest)
#include "archive_dialogs_test.moc"
