// The console's icon set (SVG drawings in icons/, compiled in as a Qt
// resource), by the image indexes snap-ins use.
#pragma once

#include <QIcon>

namespace bw::console {

inline constexpr char kIconConsoleRoot[] = "console-root";

QIcon ConsoleIcon(const char* name);
// A scope node's folder image; `large` for the icon list.
QIcon FolderIcon(int index, bool large = false);
// A list row's icon.
QIcon ListIcon(int index);

}  // namespace bw::console
