// The locked entry points: start, end and message processing under the global API lock.
#include "core/api_lock.h"
#include "core/core.h"
#include "core/core_services.h"
#include "core/input.h"
#include "core/library.h"
#include "core/library_state.h"

int InitLibraryLocked() {
    if (g_Library.initialised) return 0;
    AcquireApiLock();
    int result = InitLibrary();
    ReleaseApiLock();
    return result;
}

int EndLibraryLocked() {
    if (!g_Library.initialised) return 0;
    AcquireApiLock();
    int result = EndLibrary();
    ReleaseApiLock();
    DismantleApiLock();
    return result;
}

int ProcessMessageLocked() {
    AcquireApiLock();
    AgeKeyMarks();
    int result = ProcessMessage();
    ReleaseApiLock();
    return result;
}
