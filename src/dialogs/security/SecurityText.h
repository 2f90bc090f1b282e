// Texts of the security dialogs: string-table entries as QString, with the
// line breaks Qt shows, and object plus accessible names in one call.
#pragma once

#include <QString>
#include <QWidget>

#include <string>
#include <vector>

#include "support/Variant.h"

namespace bw::security_dialogs {

QString ToQ(const std::string& text);
std::string FromQ(const QString& text);
QString Res(int id, const std::vector<Variant>& args = {});

// Names `widget` for tests and screen readers; `accessible` defaults to the
// object name.
template <typename W>
W* Named(W* widget, const char* objectName, const QString& accessible = {}) {
  widget->setObjectName(QString::fromLatin1(objectName));
  widget->setAccessibleName(accessible.isEmpty() ? QString::fromLatin1(objectName) : accessible);
  return widget;
}

}  // namespace bw::security_dialogs
