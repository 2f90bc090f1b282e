// Builds: a support client includes support.
#include "support/Error.h"
