#include "SecurityText.h"

#include "support/Placeholders.h"
#include "support/StringTable.h"

namespace bw::security_dialogs {

QString ToQ(const std::string& text) {
  QString out = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return out;
}

std::string FromQ(const QString& text) {
  return text.toUtf8().toStdString();
}

QString Res(int id, const std::vector<Variant>& args) {
  return ToQ(args.empty() ? LoadResString(id) : FormatResString(id, args));
}

}  // namespace bw::security_dialogs
