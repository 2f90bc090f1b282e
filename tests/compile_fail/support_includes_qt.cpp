// Must not compile: product logic never includes Qt.
#include <QtCore/QString>
#include "support/Error.h"
