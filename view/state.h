// State shared between the window and its scan runs.
#pragma once

#include "scan.h"

// 1 asks every running scan to stop; cleared by Go, set by Stop.
extern StopFlag g_stopScan;
