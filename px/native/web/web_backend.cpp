// The browser backend (being written).
#include "px/native/core.h"
