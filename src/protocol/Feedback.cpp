#include "protocol/Feedback.h"

// Not written yet.
