// Entry point of the game: runs it until the player quits or the window is closed.
#include "game_frame.h"

int main() { return RunGame(); }
