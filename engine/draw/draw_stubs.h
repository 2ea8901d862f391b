// Least versions of the drawing calls that the window code makes. Delete with draw_stubs.cpp.
#pragma once

// Applies the stored draw area again after the window moved.
int ReapplyDrawArea();
