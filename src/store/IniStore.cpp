#include "store/IniStore.h"

// Not written yet.
