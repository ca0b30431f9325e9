#include "state.h"

StopFlag g_stopScan(0);
