#include "protocol/ConfigCommand.h"

// Not written yet.
