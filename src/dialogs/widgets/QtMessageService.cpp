#include "dialogs/widgets/QtMessageService.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <utility>
#include <vector>

#include "dialogs/widgets/DialogText.h"

namespace bw {
namespace {

QMessageBox::Icon IconOf(int style) {
  switch (style & MsgStyle::IconMask) {
    case MsgStyle::Critical:
      return QMessageBox::Critical;
    case MsgStyle::Question:
      return QMessageBox::Question;
    case MsgStyle::Exclamation:
      return QMessageBox::Warning;
    case MsgStyle::Information:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

// The buttons of a style in the order the platform placed them, left to
// right: the default-button bits count in this order.
std::vector<std::pair<QMessageBox::StandardButton, MsgResult>> ButtonsOf(int style) {
  switch (style & MsgStyle::ButtonMask) {
    case MsgStyle::OkCancel:
      return {{QMessageBox::Ok, MsgResult::Ok}, {QMessageBox::Cancel, MsgResult::Cancel}};
    case MsgStyle::AbortRetryIgnore:
      return {{QMessageBox::Abort, MsgResult::Abort},
              {QMessageBox::Retry, MsgResult::Retry},
              {QMessageBox::Ignore, MsgResult::Ignore}};
    case MsgStyle::YesNoCancel:
      return {{QMessageBox::Yes, MsgResult::Yes},
              {QMessageBox::No, MsgResult::No},
              {QMessageBox::Cancel, MsgResult::Cancel}};
    case MsgStyle::YesNo:
      return {{QMessageBox::Yes, MsgResult::Yes}, {QMessageBox::No, MsgResult::No}};
    default:
      return {{QMessageBox::Ok, MsgResult::Ok}};
  }
}

}  // namespace

MsgResult QtMessageService::Show(const std::string& text, int style, const std::string& caption) {
  QWidget* owner = QApplication::activeModalWidget();
  if (owner == nullptr) owner = QApplication::activeWindow();
  QMessageBox box(owner);
  box.setObjectName("MessageBox");
  box.setWindowTitle(ToQ(caption));
  box.setText(ToQ(text));
  box.setIcon(IconOf(style));

  const auto buttons = ButtonsOf(style);
  std::vector<QPushButton*> added;
  for (const auto& [standard, result] : buttons) added.push_back(box.addButton(standard));
  // Bits 8 and 9 of the style choose the default button: 0 the first, 256 the
  // second, 512 the third; one past the last falls back to the first.
  std::size_t defaultIndex = static_cast<std::size_t>((style >> 8) & 3);
  if (defaultIndex >= added.size()) defaultIndex = 0;
  box.setDefaultButton(added[defaultIndex]);
  if (buttons.size() == 1) {
    box.setEscapeButton(added[0]);
  } else if (buttons.back().second == MsgResult::Cancel) {
    box.setEscapeButton(added.back());
  } else if (buttons.front().second == MsgResult::Abort) {
    box.setEscapeButton(added.front());
  }
  box.setAccessibleName(box.windowTitle());
  // A question asked during busy work shows the normal pointer.
  const bool busy = QApplication::overrideCursor() != nullptr;
  if (busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
  box.exec();
  if (busy) QApplication::restoreOverrideCursor();

  QAbstractButton* clicked = box.clickedButton();
  for (std::size_t i = 0; i < added.size(); ++i) {
    if (added[i] == clicked) return buttons[i].second;
  }
  // Closed without a button: only boxes with an escape button can be.
  if (buttons.size() == 1) return MsgResult::Ok;
  return buttons.front().second == MsgResult::Abort ? MsgResult::Abort : MsgResult::Cancel;
}

}  // namespace bw
