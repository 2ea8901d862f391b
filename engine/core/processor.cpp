// Processor abilities found at start-up and read by the kernels.
#include "core/core.h"
#include "core/core_services.h"
#include "core/library_state.h"

LibraryState g_Library;

int GetMmxFlag() { return g_Library.mmxFlag; }
void SetMmxFlag(int flag) { g_Library.mmxFlag = flag; }
