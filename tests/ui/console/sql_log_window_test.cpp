// The SQL log window against a log double that can send from any thread:
// kept entries on opening, live ones from another thread, no entry twice,
// no subscription while closed, Clear, the row limit and the statement pane.
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "SqlLogWindow.h"

namespace {

using bw::console::SqlLogWindow;
using bw::sdk::LogEntry;

class LogDouble : public bw::sdk::StatementLog {
 public:
  void KeepRecent(bool keep) override {
    std::lock_guard lock(m_Mutex);
    m_Keeping = keep;
  }
  std::vector<LogEntry> Recent() override {
    std::lock_guard lock(m_Mutex);
    return m_Kept;
  }
  int Subscribe(std::function<void(const LogEntry&)> subscriber) override {
    std::lock_guard lock(m_Mutex);
    m_Subscribers[++m_NextId] = std::move(subscriber);
    return m_NextId;
  }
  void Unsubscribe(int id) override {
    std::lock_guard lock(m_Mutex);
    m_Subscribers.erase(id);
  }

  // Records a statement as the product's log would: numbered, kept, then
  // handed to the subscribers outside the lock.
  void Send(const std::string& text, bool failed = false) {
    LogEntry entry;
    std::vector<std::function<void(const LogEntry&)>> subscribers;
    {
      std::lock_guard lock(m_Mutex);
      entry.sequence = ++m_Sequence;
      entry.time = std::chrono::system_clock::now();
      entry.server = "127.0.0.1,1433";
      entry.database = "master";
      entry.login = "sa";
      entry.duration = std::chrono::microseconds(1500);
      entry.failed = failed;
      entry.outcome = failed ? "error=208" : "rows=1";
      entry.text = text;
      if (m_Keeping) m_Kept.push_back(entry);
      for (const auto& [id, subscriber] : m_Subscribers) subscribers.push_back(subscriber);
    }
    for (const auto& subscriber : subscribers) subscriber(entry);
  }
  int Subscribers() {
    std::lock_guard lock(m_Mutex);
    return static_cast<int>(m_Subscribers.size());
  }

 private:
  std::mutex m_Mutex;
  bool m_Keeping = true;
  std::vector<LogEntry> m_Kept;
  std::map<int, std::function<void(const LogEntry&)>> m_Subscribers;
  int m_NextId = 0;
  std::uint64_t m_Sequence = 0;
};

QStringList Statements(const SqlLogWindow& window) {
  QStringList texts;
  for (int i = 0; i < window.Entries()->topLevelItemCount(); ++i) {
    texts << window.Entries()->topLevelItem(i)->text(SqlLogWindow::kStatement);
  }
  return texts;
}

QString CountText(const SqlLogWindow& window) {
  return window.findChild<QLabel*>()->text();
}

}  // namespace

class SqlLogWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void KeptEntriesFirstThenLiveOnesFromAnotherThread();
  void AnEntryBothKeptAndLiveShowsOnce();
  void ClosedItListensToNothingAndClearedEntriesStayAway();
  void KeepsTheLatestRowsOnly();
  void TheSelectedEntryShowsItsWholeStatement();
};

void SqlLogWindowTest::KeptEntriesFirstThenLiveOnesFromAnotherThread() {
  LogDouble log;
  log.Send("SELECT 1");
  log.Send("SELECT * FROM nowhere", true);
  SqlLogWindow window(log);
  window.show();
  QCOMPARE(Statements(window), (QStringList{"SELECT 1", "SELECT * FROM nowhere"}));
  QTreeWidgetItem* failed = window.Entries()->topLevelItem(1);
  QCOMPARE(failed->text(SqlLogWindow::kServer), QString("127.0.0.1,1433"));
  QCOMPARE(failed->text(SqlLogWindow::kDatabase), QString("master"));
  QCOMPARE(failed->text(SqlLogWindow::kLogin), QString("sa"));
  QCOMPARE(failed->text(SqlLogWindow::kDuration), QString("1.500 ms"));
  QCOMPARE(failed->text(SqlLogWindow::kOutcome), QString("error=208"));

  std::thread sender([&log] {
    for (int i = 0; i < 20; ++i) log.Send("INSERT " + std::to_string(i));
  });
  sender.join();
  // Handed over to the window's thread: nothing is added until its loop runs.
  QCOMPARE(window.Entries()->topLevelItemCount(), 2);
  QTRY_COMPARE(window.Entries()->topLevelItemCount(), 22);
  QCOMPARE(Statements(window).at(2), QString("INSERT 0"));
  QCOMPARE(Statements(window).last(), QString("INSERT 19"));
  QCOMPARE(CountText(window), QString("22 entries"));
}

void SqlLogWindowTest::AnEntryBothKeptAndLiveShowsOnce() {
  LogDouble log;
  SqlLogWindow window(log);
  window.show();
  log.Send("UPDATE a");  // queued for the window, not yet added
  window.hide();
  window.show();  // the kept entries bring it; the queued delivery follows
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  QCOMPARE(Statements(window), (QStringList{"UPDATE a"}));
}

void SqlLogWindowTest::ClosedItListensToNothingAndClearedEntriesStayAway() {
  LogDouble log;
  SqlLogWindow window(log);
  QCOMPARE(log.Subscribers(), 0);
  window.show();
  QCOMPARE(log.Subscribers(), 1);
  log.Send("first");
  QTRY_COMPARE(window.Entries()->topLevelItemCount(), 1);
  window.close();
  QCOMPARE(log.Subscribers(), 0);
  QVERIFY(!window.Subscribed());

  log.Send("sent while closed");
  window.show();
  QCOMPARE(Statements(window), (QStringList{"first", "sent while closed"}));

  QTest::mouseClick(window.ClearButton(), Qt::LeftButton);
  QCOMPARE(window.Entries()->topLevelItemCount(), 0);
  QCOMPARE(CountText(window), QString("0 entries"));
  window.close();
  window.show();
  QCOMPARE(window.Entries()->topLevelItemCount(), 0);
  log.Send("after clearing");
  QTRY_COMPARE(Statements(window), (QStringList{"after clearing"}));
}

void SqlLogWindowTest::KeepsTheLatestRowsOnly() {
  LogDouble log;
  SqlLogWindow window(log);
  window.show();
  std::thread sender([&log] {
    for (int i = 0; i < SqlLogWindow::kMaxRows + 50; ++i) log.Send("EXEC p " + std::to_string(i));
  });
  sender.join();
  const QString last = QString("EXEC p %1").arg(SqlLogWindow::kMaxRows + 49);
  QTRY_VERIFY(window.Entries()->topLevelItemCount() > 0 && Statements(window).last() == last);
  QCOMPARE(window.Entries()->topLevelItemCount(), SqlLogWindow::kMaxRows);
  QCOMPARE(Statements(window).first(), QString("EXEC p 50"));
  QCOMPARE(CountText(window), QString("1000 entries (the latest 1000)"));
}

void SqlLogWindowTest::TheSelectedEntryShowsItsWholeStatement() {
  LogDouble log;
  const std::string statement = "SELECT name\n  FROM sysdatabases\n WHERE name = 'x'";
  log.Send(statement);
  log.Send(std::string(2000, 'x'));
  SqlLogWindow window(log);
  window.show();
  QCOMPARE(Statements(window).first(), QString("SELECT name FROM sysdatabases WHERE name = 'x'"));
  // A long statement is cut in its row, never in the pane.
  QVERIFY(Statements(window).last().size() < 500);
  window.Entries()->setCurrentItem(window.Entries()->topLevelItem(0));
  QCOMPARE(window.StatementText()->toPlainText(), QString::fromStdString(statement));
  window.Entries()->setCurrentItem(window.Entries()->topLevelItem(1));
  QCOMPARE(window.StatementText()->toPlainText().size(), 2000);
}

QTEST_MAIN(SqlLogWindowTest)
#include "sql_log_window_test.moc"
