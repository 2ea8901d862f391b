// Library start and end and the system information written at start-up.
#pragma once

int InitLibrary();
int EndLibrary();
int LogSystemInfo();

// The library's version string, as logged at start-up.
extern const char kLibraryVersion[];

// 1 once a fatal exit has begun: waits inside the library end are bounded from then on.
int IsFatalExitRunning();
