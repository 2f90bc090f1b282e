// Keyboard-only use of a dialog: Tab from the control that has the focus
// must reach every control a mouse user can reach, each once, in the order
// the layout is read (rows from top to bottom, left to right within a row),
// and come back to where it started. Returns what is wrong, empty when
// nothing is.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QRadioButton>
#include <QStringList>
#include <QTest>
#include <QWidget>

#include <algorithm>
#include <vector>

namespace bw::uitest {

inline QString Describe(const QWidget* widget) {
  if (widget == nullptr) return "(nothing)";
  QString name = widget->objectName();
  if (name.isEmpty()) name = widget->accessibleName();
  if (name.isEmpty()) name = QString::fromLatin1(widget->metaObject()->className());
  return name;
}

// A control Tab should stop at: shown on the current page, enabled, and
// taking the focus from the keyboard. Of a set of exclusive radio buttons
// only the checked one is a Tab stop (the arrow keys move within the set).
inline bool IsTabStop(QWidget* widget, QWidget* dialog) {
  if (!widget->isVisibleTo(dialog) || !widget->isEnabled()) return false;
  if ((widget->focusPolicy() & Qt::TabFocus) != Qt::TabFocus) return false;
  if (widget->focusProxy() != nullptr) return false;
  for (QWidget* up = widget->parentWidget(); up != nullptr && up != dialog;
       up = up->parentWidget()) {
    // A control inside another focusable control (a combo box's line edit,
    // a view's viewport) is reached through it.
    if ((up->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && up->focusProxy() == widget) {
      return false;
    }
  }
  if (auto* radio = qobject_cast<QRadioButton*>(widget);
      radio != nullptr && radio->autoExclusive() && !radio->isChecked()) {
    for (QRadioButton* other : radio->parentWidget()->findChildren<QRadioButton*>(
             QString(), Qt::FindDirectChildrenOnly)) {
      if (other->isChecked() && other->autoExclusive()) return false;
    }
  }
  return true;
}

// True when `b` comes after `a` in reading order: below it, or on the same
// row (their heights overlap by more than half the smaller one) and to the
// right.
inline bool ReadsAfter(const QRect& a, const QRect& b) {
  const int overlap = std::min(a.bottom(), b.bottom()) - std::max(a.top(), b.top());
  const bool sameRow = overlap * 2 > std::min(a.height(), b.height());
  if (sameRow) return b.left() > a.left();
  return b.top() > a.top();
}

inline QStringList TabOrderProblems(QWidget* dialog) {
  QStringList problems;
  dialog->activateWindow();
  if (!QTest::qWaitForWindowActive(dialog)) return {"the dialog never became active"};
  QWidget* first = QApplication::focusWidget();
  if (first == nullptr) return {"nothing has the focus when the dialog opens"};

  std::vector<QWidget*> cycle{first};
  for (int step = 0; step < 80; ++step) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QWidget* now = QApplication::focusWidget();
    if (now == first) break;
    if (now == nullptr) {
      problems << "Tab after " + Describe(cycle.back()) + " leaves the dialog";
      return problems;
    }
    if (std::find(cycle.begin(), cycle.end(), now) != cycle.end()) {
      problems << "Tab comes back to " + Describe(now) + " without reaching " + Describe(first) +
                      " again";
      return problems;
    }
    cycle.push_back(now);
  }
  if (QApplication::focusWidget() != first) problems << "Tab never comes back to the start";

  for (QWidget* widget : dialog->findChildren<QWidget*>()) {
    if (IsTabStop(widget, dialog) && std::find(cycle.begin(), cycle.end(), widget) == cycle.end()) {
      problems << Describe(widget) + " is never reached with Tab";
    }
  }
  // The cycle may start anywhere; it is read from its top-left stop.
  auto rectOf = [dialog](QWidget* w) { return QRect(w->mapTo(dialog, QPoint(0, 0)), w->size()); };
  std::size_t start = 0;
  for (std::size_t i = 1; i < cycle.size(); ++i) {
    if (ReadsAfter(rectOf(cycle[i]), rectOf(cycle[start]))) start = i;
  }
  for (std::size_t i = 1; i < cycle.size(); ++i) {
    QWidget* before = cycle[(start + i - 1) % cycle.size()];
    QWidget* after = cycle[(start + i) % cycle.size()];
    if (!ReadsAfter(rectOf(before), rectOf(after))) {
      problems << "Tab goes from " + Describe(before) + " back to " + Describe(after);
    }
  }
  return problems;
}

}  // namespace bw::uitest
