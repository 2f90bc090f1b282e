// Texts for the dialogs: string-table entries and std::string as QString, and
// the dialog font convention.
#pragma once

#include <QString>

#include <string>
#include <vector>

#include "support/Variant.h"

class QWidget;

namespace bw {

// UTF-8 both ways. Carriage returns (alone or before a line feed) become line
// feeds, the line break Qt shows.
QString ToQ(const std::string& text);
std::string FromQ(const QString& text);

// The text of string `id`, its placeholders filled from `args`.
QString ResText(int id, const std::vector<Variant>& args = {});

// Switches every control of `dialog` to Tahoma when that font is installed;
// keeps the point sizes. Nothing happens otherwise.
void SetDialogFont(QWidget* dialog);

}  // namespace bw
