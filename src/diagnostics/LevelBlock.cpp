#include "diagnostics/LevelBlock.h"

// Not written yet.
