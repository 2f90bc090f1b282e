#include "SqlLogWindow.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QLabel>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <mutex>

namespace bw::console {

namespace {

constexpr int kFullTextRole = Qt::UserRole;
// A row shows the start of a long statement; the pane below shows all of it.
constexpr int kRowTextLimit = 400;

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

QString OneLine(const std::string& text) {
  QString line = Q(text).simplified();
  if (line.size() > kRowTextLimit) line = line.left(kRowTextLimit) + QChar(0x2026);
  return line;
}

}  // namespace

// What the subscriber holds: the window, until the window is gone. A post
// made under the lock cannot race the window's destruction.
struct SqlLogWindow::Relay {
  std::mutex mutex;
  SqlLogWindow* window = nullptr;

  void Post(const sdk::LogEntry& entry) {
    std::lock_guard lock(mutex);
    if (window == nullptr) return;
    // Queued even on the window's own thread: the log calls from inside a
    // statement's execution, which is no place to redraw.
    QMetaObject::invokeMethod(
        window, [target = window, entry] { target->Deliver(entry); }, Qt::QueuedConnection);
  }
};

SqlLogWindow::SqlLogWindow(sdk::StatementLog& log, QWidget* parent)
    : QWidget(parent, Qt::Window), m_Log(log), m_Relay(std::make_shared<Relay>()) {
  m_Relay->window = this;
  setObjectName("SqlLogWindow");
  setWindowTitle("SQL log");
  setAccessibleName("SQL log");

  m_Entries = new QTreeWidget(this);
  m_Entries->setObjectName("SqlLogEntries");
  m_Entries->setAccessibleName("SQL log entries");
  m_Entries->setRootIsDecorated(false);
  m_Entries->setAlternatingRowColors(true);
  m_Entries->setUniformRowHeights(true);
  m_Entries->setHeaderLabels(
      {"Time", "Server", "Database", "Login", "Duration", "Outcome", "Statement"});
  const int widths[] = {100, 130, 170, 80, 80, 80};
  for (int column = 0; column < kStatement; ++column)
    m_Entries->setColumnWidth(column, widths[column]);

  m_Statement = new QPlainTextEdit(this);
  m_Statement->setObjectName("SqlLogStatement");
  m_Statement->setAccessibleName("Statement text");
  m_Statement->setReadOnly(true);
  m_Statement->setPlaceholderText("Select an entry to see its whole statement.");
  m_Statement->setFont(QFont("Monospace"));

  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->addWidget(m_Entries);
  splitter->addWidget(m_Statement);
  splitter->setStretchFactor(0, 3);
  splitter->setStretchFactor(1, 1);

  m_Count = new QLabel(this);
  m_Count->setAccessibleName("Number of entries");
  m_Clear = new QPushButton("C&lear", this);
  m_Clear->setObjectName("SqlLogClear");
  m_Clear->setAccessibleName("Clear");
  m_Clear->setToolTip("Removes every entry from this window; the log goes on.");
  auto* close = new QPushButton("&Close", this);
  close->setObjectName("SqlLogClose");
  close->setAccessibleName("Close");
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(m_Count, 1);
  buttons->addWidget(m_Clear);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(splitter, 1);
  layout->addLayout(buttons);

  connect(m_Clear, &QPushButton::clicked, this, &SqlLogWindow::Clear);
  connect(close, &QPushButton::clicked, this, &QWidget::close);
  connect(m_Entries, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
    m_Statement->setPlainText(
        current == nullptr ? QString() : current->data(kStatement, kFullTextRole).toString());
  });
  setTabOrder(m_Entries, m_Statement);
  setTabOrder(m_Statement, m_Clear);
  setTabOrder(m_Clear, close);
  ShowCount();
  resize(1000, 520);
}

SqlLogWindow::~SqlLogWindow() {
  Stop();
  std::lock_guard lock(m_Relay->mutex);
  m_Relay->window = nullptr;
}

void SqlLogWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Start();
}

void SqlLogWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  // Minimised, the window goes on collecting; closed, it stops.
  if (!event->spontaneous()) Stop();
}

void SqlLogWindow::Start() {
  if (m_Subscription != 0) return;
  // Subscribed before the kept entries are read, so nothing falls between;
  // what both deliver is told apart by its number.
  std::shared_ptr<Relay> relay = m_Relay;
  m_Subscription = m_Log.Subscribe([relay](const sdk::LogEntry& entry) { relay->Post(entry); });
  for (const sdk::LogEntry& entry : m_Log.Recent()) {
    if (entry.sequence > m_Highest) Append(entry);
    m_Through = std::max(m_Through, entry.sequence);
  }
}

void SqlLogWindow::Stop() {
  if (m_Subscription == 0) return;
  m_Log.Unsubscribe(m_Subscription);
  m_Subscription = 0;
}

void SqlLogWindow::Deliver(const sdk::LogEntry& entry) {
  // The kept entries read on opening already brought this one.
  if (entry.sequence <= m_Through) return;
  Append(entry);
}

void SqlLogWindow::Append(const sdk::LogEntry& entry) {
  QScrollBar* scroll = m_Entries->verticalScrollBar();
  const bool atEnd = scroll->value() == scroll->maximum();

  const auto milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(entry.time.time_since_epoch()).count();
  const QDateTime time = QDateTime::fromMSecsSinceEpoch(milliseconds);
  auto* row = new QTreeWidgetItem;
  row->setText(kTime, time.toString("HH:mm:ss.zzz"));
  row->setToolTip(kTime, time.toString(Qt::ISODateWithMs));
  row->setText(kServer, Q(entry.server));
  row->setText(kDatabase, Q(entry.database));
  row->setText(kLogin, Q(entry.login));
  row->setText(
      kDuration,
      QString::number(static_cast<double>(entry.duration.count()) / 1000.0, 'f', 3) + " ms");
  row->setTextAlignment(kDuration, Qt::AlignRight | Qt::AlignVCenter);
  row->setText(kOutcome, Q(entry.outcome));
  if (entry.failed) row->setForeground(kOutcome, QColor(0xb0, 0x20, 0x20));
  row->setText(kStatement, OneLine(entry.text));
  row->setData(kStatement, kFullTextRole, Q(entry.text));
  m_Entries->addTopLevelItem(row);
  while (m_Entries->topLevelItemCount() > kMaxRows) delete m_Entries->takeTopLevelItem(0);
  m_Highest = std::max(m_Highest, entry.sequence);
  if (atEnd) m_Entries->scrollToBottom();
  ShowCount();
}

void SqlLogWindow::Clear() {
  m_Entries->clear();
  m_Statement->clear();
  ShowCount();
}

void SqlLogWindow::ShowCount() {
  const int count = m_Entries->topLevelItemCount();
  QString text = count == 1 ? "1 entry" : QString::number(count) + " entries";
  if (count >= kMaxRows) text += " (the latest " + QString::number(kMaxRows) + ")";
  m_Count->setText(text);
}

}  // namespace bw::console
