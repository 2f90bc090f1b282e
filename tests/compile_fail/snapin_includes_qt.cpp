// Must not compile: the snap-in codes against the console's host interface,
// never against Qt.
#include "snapin/SnapIn1.h"

#include <QtWidgets/QWidget>

int SnapInUsesQt() {
  return sizeof(QWidget) > 0 ? 1 : 0;
}
