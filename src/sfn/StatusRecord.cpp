#include "sfn/StatusRecord.h"

// Not written yet.
