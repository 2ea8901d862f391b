// Least versions of the on-screen log's start and end.
#include "core/screen_log_stubs.h"

int InitScreenLog() { return -1; }
int EndScreenLog() { return 0; }
