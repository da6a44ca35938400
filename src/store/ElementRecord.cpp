#include "store/ElementRecord.h"

// Not written yet.
