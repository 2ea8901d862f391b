// Until the window's message loop is in the library, the sound calls the game makes find these.
// Weak, so the library's own definitions win once it has them.
#include <cstdlib>

__attribute__((weak)) int ProcessMessage() {
    return 0;
}

__attribute__((weak, noreturn)) void FatalExit(const char*) {
    std::abort();
}
