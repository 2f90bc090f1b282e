// bwconsole with the real snap-in library against a started stand-in:
// expanding, selecting, context menus with their status-bar texts, a command
// through its confirmation, F2 rename, and screenshots of the main window.
#include <stdlib.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "ConsoleWindow.h"
#include "OldArchive.h"
#include "SnapInLibrary.h"
#include "SqlLogWindow.h"
#include "StandinProcess.h"
#include "archives/Database.h"
#include "archives/Databases.h"
#include "data/ConnectionString.h"
#include "servers/Servers.h"

namespace {

constexpr char kDataFolder[] = "C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data\\";

// Answers the next message box with `button` once it is up, keeping its text.
void AnswerNextBox(QMessageBox::StandardButton button, QString* text) {
  auto poll = std::make_shared<std::function<void()>>();
  *poll = [button, text, poll] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) {
      QTimer::singleShot(20, *poll);
      return;
    }
    if (text != nullptr) *text = box->text();
    box->button(button)->click();
  };
  QTimer::singleShot(0, *poll);
}

// Waits for the modal dialog named `name`, keeps a picture of it and cancels
// it. Any other modal window (a message box saying the dialog is missing)
// is closed and its text kept in `other`.
void CancelDialogWhenShown(const QString& name, bool* shown, QString* other) {
  auto poll = std::make_shared<std::function<void()>>();
  auto started = std::make_shared<QElapsedTimer>();
  started->start();
  *poll = [name, shown, other, poll, started] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) {
      if (started->elapsed() < 20000) QTimer::singleShot(20, *poll);
      return;
    }
    auto* dialog = qobject_cast<QDialog*>(modal);
    if (modal->objectName() != name || dialog == nullptr) {
      *other = modal->objectName() + ": " +
               (qobject_cast<QMessageBox*>(modal) ? qobject_cast<QMessageBox*>(modal)->text() : "");
      if (dialog != nullptr) dialog->done(0);
      return;
    }
    *shown = true;
    QDir().mkpath(BW_SCREENSHOT_DIR);
    modal->grab().save(QString(BW_SCREENSHOT_DIR) + "/console-" + name + ".png");
    dialog->reject();
  };
  QTimer::singleShot(0, *poll);
}

// Notes when a window of that name is shown, however briefly.
class ShowWatch : public QObject {
 public:
  explicit ShowWatch(const QString& name) : m_Name(name) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show && watched->objectName() == m_Name) shown = true;
    return false;
  }
  bool shown = false;

 private:
  QString m_Name;
};

// The action of that name anywhere in `menu`, or nullptr.
QAction* ActionNamed(QMenu& menu, const QString& name) {
  for (QAction* action : menu.findChildren<QAction*>()) {
    if (action->objectName() == name) return action;
  }
  for (QAction* action : menu.actions()) {
    if (action->objectName() == name) return action;
  }
  return nullptr;
}

}  // namespace

class ConsoleUiTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void cleanupTestCase();
  void ExpandsAServerAndListsItsArchives();
  void SqlLogShowsWhatTheConsoleSentWithoutPasswords();
  void ArchiveMenuShowsStatusTextsAndDeletesAfterYes();
  void RenamesAnArchiveWithF2();
  void EveryDialogCommandOpensItsDialog_data();
  void EveryDialogCommandOpensItsDialog();
  void DoubleClickOnALoginOpensItsProperties();
  void Screenshots();
  void VersionCheckConvertsAnOlderArchiveInTheProgressDialog();

 private:
  QTreeWidgetItem* Open(const std::string& name);
  void Save(const QString& file);

  std::unique_ptr<standin::integration::StandinProcess> m_Standin;
  std::filesystem::path m_Home;
  std::unique_ptr<bw::console::ConsoleWindow> m_Window;
  std::string m_Registration;
};

void ConsoleUiTest::initTestCase() {
  m_Standin = std::make_unique<standin::integration::StandinProcess>();
  m_Standin->Start();
  m_Home = std::filesystem::temp_directory_path() / ("bw-console-ui-" + std::to_string(::getpid()));
  std::filesystem::remove_all(m_Home);
  ::setenv("XDG_CONFIG_HOME", m_Home.c_str(), 1);
  ::setenv("BW_SERVICE_CONTROL_PORT", std::to_string(m_Standin->ControlPort()).c_str(), 1);
  {
    // The administrator registers the stand-in and makes two archives; the
    // console then reads the registration as any later start would.
    bw::Servers servers;
    std::string text =
        "Provider=SQLOLEDB;" +
        bw::OleDbPair("Data Source", "127.0.0.1," + std::to_string(m_Standin->Port())) +
        bw::OleDbPair("User Id", "sa") +
        bw::OleDbPair("Password", standin::integration::StandinProcess::kSaPassword);
    m_Registration = text;
    bw::Server* server = servers.Add(text);
    QVERIFY(server != nullptr);
    for (const char* name : {"Letters", "Minutes"}) {
      QVERIFY(server->Databases().AddNew(name, std::string(kDataFolder) + name + ".mdf") !=
              nullptr);
    }
    // A few logins of each kind for the lists.
    for (const char* account : {"'BRINDLE\\alice'", "'BRINDLE\\Clerks' --group"}) {
      std::string command = standin::integration::StandinBinary() + " accounts add --data-dir '" +
                            m_Standin->DataDir().string() + "' " + account + " >/dev/null";
      QCOMPARE(std::system(command.c_str()), 0);
    }
    bw::Connection& master = server->GetConnection();
    master.Execute("EXEC sp_addlogin 'clerk', 'Clerk-pw-1'");
    master.Execute("EXEC sp_grantlogin 'BRINDLE\\alice'");
    master.Execute("EXEC sp_grantlogin 'BRINDLE\\Clerks'");
    master.Execute("EXEC sp_denylogin 'BRINDLE\\Clerks'");
  }
  std::string error;
  auto library = bw::console::SnapInLibrary::Load(BWADMIN_LIBRARY, error);
  QVERIFY2(library != nullptr, error.c_str());
  QVERIFY2(library->Register(error), error.c_str());

  m_Window = std::make_unique<bw::console::ConsoleWindow>();
  m_Window->show();
  m_Window->LoadRegisteredSnapIns();
  QVERIFY(QTest::qWaitForWindowExposed(m_Window.get()));
}

void ConsoleUiTest::cleanupTestCase() {
  m_Window.reset();
  m_Standin.reset();
  std::filesystem::remove_all(m_Home);
}

QTreeWidgetItem* ConsoleUiTest::Open(const std::string& name) {
  QTreeWidgetItem* item = m_Window->ScopeItemNamed(name);
  if (item == nullptr) return nullptr;
  item->setExpanded(true);
  m_Window->ScopePane()->setCurrentItem(item);
  QApplication::processEvents();
  return m_Window->ScopeItemNamed(name);
}

void ConsoleUiTest::Save(const QString& file) {
  QDir().mkpath(BW_SCREENSHOT_DIR);
  QVERIFY(m_Window->grab().save(QString(BW_SCREENSHOT_DIR) + "/" + file));
}

void ConsoleUiTest::ExpandsAServerAndListsItsArchives() {
  QVERIFY(Open("StaticNode") != nullptr);
  QTreeWidgetItem* group = Open("StaticNode.DatabaseServers");
  QVERIFY(group != nullptr);
  QCOMPARE(group->text(0), QString("Database Servers"));
  QCOMPARE(group->childCount(), 1);
  // The group's view lists its server by name.
  QCOMPARE(m_Window->IconPane()->count(), 1);
  QVERIFY(m_Window->IconPane()->item(0)->text().startsWith("127.0.0.1,"));

  QTreeWidgetItem* server = Open("Server1");
  QVERIFY(server != nullptr);
  QVERIFY(server->text(0).endsWith("(Windows NT)"));
  QCOMPARE(server->childCount(), 2);
  QCOMPARE(m_Window->DetailsPane()->headerItem()->text(0), QString("Name"));
  QVERIFY(m_Window->DetailsPane()->topLevelItemCount() > 3);

  QTreeWidgetItem* archives = Open("Server1.Databases");
  QVERIFY(archives != nullptr);
  QCOMPARE(archives->childCount(), 2);
  QCOMPARE(archives->child(0)->text(0), QString("Letters"));
  QCOMPARE(m_Window->IconPane()->count(), 2);

  QVERIFY(Open("Server1.Database1") != nullptr);
  QStringList labels;
  for (int i = 0; i < m_Window->IconPane()->count(); ++i)
    labels << m_Window->IconPane()->item(i)->text();
  QCOMPARE(labels, (QStringList{"Properties", "Users", "Fulltext Index"}));
}

void ConsoleUiTest::SqlLogShowsWhatTheConsoleSentWithoutPasswords() {
  using bw::console::SqlLogWindow;
  // Opened from the View menu after the server was expanded: what was sent
  // before is there, the login included, its password masked.
  QAction* action = nullptr;
  for (QAction* each : m_Window->menuBar()->findChildren<QAction*>()) {
    if (each->objectName() == "viewSqlLog") action = each;
  }
  QVERIFY(action != nullptr);
  QVERIFY(action->isEnabled());
  action->trigger();
  auto* window = m_Window->findChild<SqlLogWindow*>("SqlLogWindow");
  QVERIFY(window != nullptr);
  QVERIFY(QTest::qWaitForWindowExposed(window));
  QTreeWidget* entries = window->Entries();
  const QString server = QString("127.0.0.1,%1").arg(m_Standin->Port());
  auto rowsWith = [entries](const QString& text) {
    QList<QTreeWidgetItem*> rows;
    for (int i = 0; i < entries->topLevelItemCount(); ++i) {
      if (entries->topLevelItem(i)
              ->data(SqlLogWindow::kStatement, Qt::UserRole)
              .toString()
              .contains(text)) {
        rows << entries->topLevelItem(i);
      }
    }
    return rows;
  };
  QList<QTreeWidgetItem*> logins = rowsWith("connect ");
  QVERIFY(!logins.isEmpty());
  QCOMPARE(logins.first()->text(SqlLogWindow::kServer), server);
  QCOMPARE(logins.first()->text(SqlLogWindow::kLogin), QString("sa"));
  QVERIFY(logins.first()->text(SqlLogWindow::kStatement).contains("********"));
  // The catalogue queries of the expanded server too.
  QVERIFY(entries->topLevelItemCount() > logins.size());

  // A command run while the window is open appears as it is sent.
  const int before = entries->topLevelItemCount();
  QTreeWidgetItem* letters = Open("Server1.Database1");
  QVERIFY(letters != nullptr);
  auto menu = m_Window->ContextMenuForScope(letters);
  QAction* shrink = ActionNamed(*menu, "mnuShrinkLogfile");
  QVERIFY(shrink != nullptr);
  QString question;
  AnswerNextBox(QMessageBox::Yes, &question);
  shrink->trigger();
  QVERIFY(!question.isEmpty());
  QTRY_VERIFY(!rowsWith("sysaltfiles").isEmpty());
  QVERIFY(entries->topLevelItemCount() > before);
  QTreeWidgetItem* sent = rowsWith("sysaltfiles").last();
  QCOMPARE(sent->text(SqlLogWindow::kServer), server);
  QVERIFY(!sent->text(SqlLogWindow::kOutcome).isEmpty());
  entries->setCurrentItem(sent);
  QVERIFY(window->StatementText()->toPlainText().contains("Brindlewick_Letters"));

  // The password is nowhere: no cell, no tooltip, not the statement pane.
  const QString password = standin::integration::StandinProcess::kSaPassword;
  for (int i = 0; i < entries->topLevelItemCount(); ++i) {
    QTreeWidgetItem* row = entries->topLevelItem(i);
    for (int column = 0; column < entries->columnCount(); ++column) {
      QVERIFY(!row->text(column).contains(password));
      QVERIFY(!row->toolTip(column).contains(password));
      QVERIFY(!row->data(column, Qt::UserRole).toString().contains(password));
    }
  }
  QVERIFY(!window->StatementText()->toPlainText().contains(password));

  QDir().mkpath(BW_SCREENSHOT_DIR);
  QVERIFY(window->grab().save(QString(BW_SCREENSHOT_DIR) + "/console-sql-log.png"));
  window->close();
  QVERIFY(!window->Subscribed());
}

void ConsoleUiTest::ArchiveMenuShowsStatusTextsAndDeletesAfterYes() {
  QTreeWidgetItem* minutes = Open("Server1.Database2");
  QVERIFY(minutes != nullptr);
  auto menu = m_Window->ContextMenuForScope(minutes);
  QVERIFY(menu != nullptr);
  QStringList names;
  for (QAction* action : menu->actions()) names << action->objectName();
  QCOMPARE(names, (QStringList{"mnuDeleteDatabase", "mnuCloseDatabase", "mnuChangeOwner",
                               "mnuShrinkLogfile", "", "consoleRename"}));
  QAction* remove = menu->actions().at(0);
  QCOMPARE(remove->text(), QString("Delete Server Archive"));
  remove->hover();
  QCOMPARE(m_Window->statusBar()->currentMessage(),
           QString("Removes and deletes the server archive permanently."));

  QString question;
  AnswerNextBox(QMessageBox::Yes, &question);
  remove->trigger();
  QCOMPARE(question, QString("Do you want to delete the server archive 'Minutes'?\nAll data will "
                             "be lost permanently!"));
  QVERIFY(m_Window->ScopeItemNamed("Server1.Database2") == nullptr);
  QCOMPARE(m_Window->ScopeItemNamed("Server1.Databases")->childCount(), 1);
  QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void ConsoleUiTest::RenamesAnArchiveWithF2() {
  QTreeWidgetItem* letters = Open("Server1.Database1");
  QVERIFY(letters != nullptr);
  // A server node has no rename.
  Open("Server1");
  QTest::keyClick(m_Window->ScopePane(), Qt::Key_F2);
  QVERIFY(m_Window->ScopePane()->findChild<QLineEdit*>() == nullptr);

  Open("Server1.Database1");
  m_Window->ScopePane()->setFocus();
  QTest::keyClick(m_Window->ScopePane(), Qt::Key_F2);
  auto* editor = m_Window->ScopePane()->findChild<QLineEdit*>();
  QVERIFY(editor != nullptr);
  editor->setText("Papers");
  QTest::keyClick(editor, Qt::Key_Return);
  QApplication::processEvents();
  QCOMPARE(m_Window->ScopeItemNamed("Server1.Database1")->text(0), QString("Papers"));
}

void ConsoleUiTest::EveryDialogCommandOpensItsDialog_data() {
  QTest::addColumn<QString>("node");
  QTest::addColumn<bool>("onRow");  // the command of a list row, not of the node
  QTest::addColumn<QString>("command");
  QTest::addColumn<QString>("dialog");
  QTest::newRow("add registration") << "StaticNode.DatabaseServers" << false << "mnuAddSQLServer"
                                    << "frmSQLServer";
  QTest::newRow("edit registration") << "Server1" << false << "mnuSQLServerProperties"
                                     << "frmSQLServer";
  QTest::newRow("new archive") << "Server1.Databases" << false << "mnuAddNewDatabase"
                               << "frmNewArchiveWizard";
  QTest::newRow("open archive") << "Server1.Databases" << false << "mnuOpenDatabase"
                                << "frmOpenArchive";
  QTest::newRow("change owner") << "Server1.Database1" << false << "mnuChangeOwner"
                                << "frmChangeOwner";
  QTest::newRow("new login") << "Server1.LoginNames" << false << "mnuGrantLogin"
                             << "frmUserWizard";
  QTest::newRow("login properties") << "Server1.LoginNames" << true << "mnuLoginProperties"
                                    << "frmLogin";
  QTest::newRow("new archive user") << "Server1.Database1.Users" << false << "mnuNewDatabaseUser"
                                    << "frmUser";
  QTest::newRow("archive user properties")
      << "Server1.Database1.Users" << true << "mnuUserProperties"
      << "frmUser";
}

void ConsoleUiTest::EveryDialogCommandOpensItsDialog() {
  QFETCH(QString, node);
  QFETCH(bool, onRow);
  QFETCH(QString, command);
  QFETCH(QString, dialog);
  QTreeWidgetItem* item = Open(node.toStdString());
  QVERIFY(item != nullptr);
  std::unique_ptr<QMenu> menu;
  if (onRow) {
    QVERIFY(m_Window->DetailsPane()->topLevelItemCount() > 0);
    QTreeWidgetItem* row = m_Window->DetailsPane()->topLevelItem(0);
    m_Window->DetailsPane()->setCurrentItem(row);
    row->setSelected(true);
    menu = m_Window->ContextMenuForResults();
  } else {
    menu = m_Window->ContextMenuForScope(item);
  }
  QVERIFY(menu != nullptr);
  QAction* action = ActionNamed(*menu, command);
  QVERIFY2(action != nullptr, qPrintable(command));
  QVERIFY(action->isEnabled());
  bool shown = false;
  QString other;
  CancelDialogWhenShown(dialog, &shown, &other);
  action->trigger();
  QVERIFY2(shown, qPrintable(other));
  QVERIFY(other.isEmpty());
  QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

void ConsoleUiTest::DoubleClickOnALoginOpensItsProperties() {
  QVERIFY(Open("Server1.LoginNames") != nullptr);
  QTreeWidgetItem* row = m_Window->DetailsPane()->topLevelItem(0);
  QVERIFY(row != nullptr);
  bool shown = false;
  QString other;
  CancelDialogWhenShown("frmLogin", &shown, &other);
  emit m_Window->DetailsPane()->itemDoubleClicked(row, 0);
  QVERIFY2(shown, qPrintable(other));
}

void ConsoleUiTest::Screenshots() {
  Open("Server1.LoginNames");
  QCOMPARE(m_Window->DetailsPane()->headerItem()->text(2), QString("Access"));
  QCOMPARE(m_Window->DetailsPane()->topLevelItemCount(), 3);
  Save("console-logins.png");
  Open("Server1.Database1.Properties");
  QVERIFY(m_Window->DetailsPane()->topLevelItemCount() >= 9);
  Save("console-archive-properties.png");
  Open("Server1.Databases");
  Save("console-archives.png");
  Open("Server1");
  Save("console-server.png");
}

void ConsoleUiTest::VersionCheckConvertsAnOlderArchiveInTheProgressDialog() {
  // An archive as release 1.60 left it, found by the check of the next start.
  m_Window.reset();
  bw::testing::MakeOldArchive(m_Registration, "Old160", 160, "1.60");
  QString question;
  AnswerNextBox(QMessageBox::Yes, &question);
  ShowWatch progress("frmProgress");
  QApplication::instance()->installEventFilter(&progress);
  m_Window = std::make_unique<bw::console::ConsoleWindow>();
  m_Window->show();
  m_Window->LoadRegisteredSnapIns();
  // The check covers the servers the tree has loaded.
  QVERIFY(Open("StaticNode") != nullptr);
  QVERIFY(Open("StaticNode.DatabaseServers") != nullptr);
  QTRY_VERIFY_WITH_TIMEOUT(!question.isEmpty(), 15000);
  QVERIFY(question.startsWith("The server archive 'Old160' has the database version 160."));
  QTRY_VERIFY_WITH_TIMEOUT(progress.shown, 15000);
  QTRY_COMPARE_WITH_TIMEOUT(QApplication::activeModalWidget(), nullptr, 30000);

  bw::Servers servers;
  bw::Database* archive = nullptr;
  for (bw::Database* each : servers.Item(1)->Databases().NewEnum()) {
    if (each->Name() == "Old160") archive = each;
  }
  QVERIFY(archive != nullptr);
  QCOMPARE(archive->GetExtendedValue(0, 3, 1, ""), std::string("1.61"));
}

QTEST_MAIN(ConsoleUiTest)
#include "console_ui_test.moc"
