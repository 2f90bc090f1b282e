// Must not compile: support may not see the stand-in.
#include "engine/Engine.h"
#include "support/Error.h"
