// Entry point of the game. Until the game itself is built, it starts the library, shows the
// window and runs the message loop until the window is closed.
#include <unistd.h>

#include <cstdio>

#include "velk.h"

int main() {
    std::printf("Velk: the library starts and opens its window; the game itself is not built yet.\n"
                "Close the window to end. The library's log is Log.txt in the working folder.\n");
    std::fflush(stdout);
    ChangeWindowMode(1);
    if (InitLibraryLocked() == -1) {
        std::printf("Velk: the library could not start; see Log.txt.\n");
        return 1;
    }
    // Nothing is drawn yet: a frame's worth of rest per pass keeps the loop from spinning.
    while (ProcessMessageLocked() == 0) usleep(16000);
    EndLibraryLocked();
    std::printf("Velk: the window was closed; the library has ended.\n");
    return 0;
}
