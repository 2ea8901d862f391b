// Least versions of the drawing calls the window code makes.
#include "draw/draw_stubs.h"

int ReapplyDrawArea() { return 0; }
