// The console's "SQL log" window: what a snap-in sent to its servers, one
// row per statement or login (time, server, database, login, duration,
// outcome, statement), the selected row's whole statement below. Opening it
// shows the entries the snap-in kept; while it is open, new ones are added
// as they are sent. At most kMaxRows rows: the oldest go first.
//
// The log may call from any thread: entries are handed to the window's own
// thread through queued calls, and the window subscribes only while shown.
// It must be destroyed before the log it reads.
#pragma once

#include <QWidget>
#include <cstdint>
#include <memory>

#include "sdk/StatementLog.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace bw::console {

class SqlLogWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kMaxRows = 1000;
  enum Column { kTime, kServer, kDatabase, kLogin, kDuration, kOutcome, kStatement };

  explicit SqlLogWindow(sdk::StatementLog& log, QWidget* parent = nullptr);
  ~SqlLogWindow() override;

  QTreeWidget* Entries() const { return m_Entries; }
  QPlainTextEdit* StatementText() const { return m_Statement; }
  QPushButton* ClearButton() const { return m_Clear; }
  // Whether the window currently receives new entries.
  bool Subscribed() const { return m_Subscription != 0; }

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  struct Relay;

  void Start();
  void Stop();
  // A live entry, unless the kept ones brought it.
  void Deliver(const sdk::LogEntry& entry);
  void Append(const sdk::LogEntry& entry);
  void Clear();
  void ShowCount();

  sdk::StatementLog& m_Log;
  std::shared_ptr<Relay> m_Relay;
  int m_Subscription = 0;
  std::uint64_t m_Highest = 0;  // the newest entry shown, or cleared away
  std::uint64_t m_Through = 0;  // the newest of the kept entries read on opening
  QTreeWidget* m_Entries;
  QPlainTextEdit* m_Statement;
  QLabel* m_Count;
  QPushButton* m_Clear;
};

}  // namespace bw::console
