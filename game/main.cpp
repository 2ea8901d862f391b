// Entry point of the game. Until the window and the game are built, it starts what exists:
// the log, and says so.
#include <cstdio>
#include <unistd.h>

#include "velk.h"

int main() {
    char folder[kPathBufferSize];
    if (getcwd(folder, sizeof folder) != nullptr) SetLogFolder(folder);
    CreateLogFile();
    WriteLog("Velk: the engine foundation is running; the game is not built yet.\n");
    DumpAllocations();
    std::printf("Velk: the engine foundation (memory, log, clocks, strings, random numbers) runs;\n"
                "the window and the game are not built yet. See Log.txt in %s.\n",
                folder);
    return 0;
}
