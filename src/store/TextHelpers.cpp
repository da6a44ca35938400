#include "store/TextHelpers.h"

// Not written yet.
