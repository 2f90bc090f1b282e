#include "dialogs/widgets/DialogText.h"

#include <QFontDatabase>
#include <QWidget>

#include "support/Placeholders.h"
#include "support/StringTable.h"

namespace bw {

QString ToQ(const std::string& text) {
  QString result = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  result.replace(QChar('\r'), QChar('\n'));
  return result;
}

std::string FromQ(const QString& text) {
  return text.toStdString();
}

QString ResText(int id, const std::vector<Variant>& args) {
  return ToQ(args.empty() ? LoadResString(id) : FormatResString(id, args));
}

void SetDialogFont(QWidget* dialog) {
  if (dialog == nullptr || !QFontDatabase::families().contains(QStringLiteral("Tahoma"))) return;
  const auto apply = [](QWidget* widget) {
    QFont font = widget->font();
    font.setFamily(QStringLiteral("Tahoma"));
    widget->setFont(font);
  };
  apply(dialog);
  for (QWidget* child : dialog->findChildren<QWidget*>()) apply(child);
}

}  // namespace bw
