#include "QtHostPlatform.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

namespace bw::console {

namespace {

// The platform's message-box numbers.
constexpr int kButtonMask = 7;
constexpr int kIconMask = 112;
constexpr int kDefaultButtonMask = 768;

struct ButtonSet {
  std::vector<std::pair<QMessageBox::StandardButton, int>> buttons;  // with the answer's number
};

ButtonSet ButtonsOf(int style) {
  switch (style & kButtonMask) {
    case 1:
      return {{{QMessageBox::Ok, 1}, {QMessageBox::Cancel, 2}}};
    case 2:
      return {{{QMessageBox::Abort, 3}, {QMessageBox::Retry, 4}, {QMessageBox::Ignore, 5}}};
    case 3:
      return {{{QMessageBox::Yes, 6}, {QMessageBox::No, 7}, {QMessageBox::Cancel, 2}}};
    case 4:
      return {{{QMessageBox::Yes, 6}, {QMessageBox::No, 7}}};
    case 5:
      return {{{QMessageBox::Retry, 4}, {QMessageBox::Cancel, 2}}};
    default:
      return {{{QMessageBox::Ok, 1}}};
  }
}

QMessageBox::Icon IconOf(int style) {
  switch (style & kIconMask) {
    case 16:
      return QMessageBox::Critical;
    case 32:
      return QMessageBox::Question;
    case 48:
      return QMessageBox::Warning;
    case 64:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

}  // namespace

QtHostPlatform::QtHostPlatform(QWidget* window) : m_Window(window) {}

QtHostPlatform::~QtHostPlatform() {
  while (m_Busy > 0) SetBusy(false);
}

void QtHostPlatform::SetBusy(bool busy) {
  if (busy) {
    ++m_Busy;
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else if (m_Busy > 0) {
    --m_Busy;
    QApplication::restoreOverrideCursor();
  }
}

void QtHostPlatform::ProcessEvents() {
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

int QtHostPlatform::LogicalDpiX() {
  QScreen* screen = m_Window != nullptr && m_Window->screen() != nullptr
                        ? m_Window->screen()
                        : QGuiApplication::primaryScreen();
  return screen != nullptr ? static_cast<int>(screen->logicalDotsPerInchX()) : 96;
}

int QtHostPlatform::ShowMessage(const std::string& text, int style, const std::string& caption) {
  QString body = QString::fromStdString(text);
  body.replace("\r\n", "\n");
  body.replace('\r', '\n');
  QMessageBox box(IconOf(style), QString::fromStdString(caption), body, QMessageBox::NoButton,
                  m_Window);
  box.setAccessibleName(QString::fromStdString(caption));
  std::map<QAbstractButton*, int> answers;
  ButtonSet set = ButtonsOf(style);
  for (const auto& [button, answer] : set.buttons) answers[box.addButton(button)] = answer;
  std::size_t defaultIndex = static_cast<std::size_t>((style & kDefaultButtonMask) / 256);
  if (defaultIndex >= set.buttons.size()) defaultIndex = 0;
  box.setDefaultButton(set.buttons[defaultIndex].first);
  // Escape answers the last button of a question (No or Cancel), as the
  // platform's boxes do; a lone OK closes with OK.
  box.setEscapeButton(box.button(set.buttons.back().first));
  // A question during busy work still shows the normal pointer.
  bool wasBusy = m_Busy > 0;
  if (wasBusy) QApplication::setOverrideCursor(Qt::ArrowCursor);
  box.exec();
  if (wasBusy) QApplication::restoreOverrideCursor();
  auto found = answers.find(box.clickedButton());
  return found == answers.end() ? set.buttons.back().second : found->second;
}

int QtHostPlatform::SetTimer(int intervalMs, std::function<void()> tick) {
  if (intervalMs < 1) return 0;
  int id = ++m_NextTimer;
  auto timer = std::make_unique<QTimer>();
  timer->setInterval(intervalMs);
  QObject::connect(timer.get(), &QTimer::timeout, this, [this, tick] {
    tick();
    emit TimerTicked();
  });
  timer->start();
  m_Timers[id] = std::move(timer);
  return id;
}

void QtHostPlatform::KillTimer(int id) {
  auto found = m_Timers.find(id);
  if (found == m_Timers.end()) return;
  found->second->stop();
  // The timer may be the one whose tick is running now.
  found->second.release()->deleteLater();
  m_Timers.erase(found);
}

}  // namespace bw::console
