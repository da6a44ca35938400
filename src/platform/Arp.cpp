#include "platform/Arp.h"

// Not written yet.
