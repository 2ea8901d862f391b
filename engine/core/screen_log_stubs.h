// Least versions of the on-screen log's start and end, until the on-screen log (which needs
// fonts and the screen) is built. Delete with screen_log_stubs.cpp.
#pragma once

// -1: there is no screen to show a log on yet.
int InitScreenLog();
// Releases the on-screen log's font when it was set up (never, here).
int EndScreenLog();
