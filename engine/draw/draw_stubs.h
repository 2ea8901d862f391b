// Least versions of the drawing calls that library start and end and the window code make,
// until drawing, masks and model support are built. Delete with draw_stubs.cpp.
#pragma once

int InitModels();
int EndModels();
int GetUseMaskScreenFlag();
int SetUseMaskScreenFlag(int flag);
// Applies the stored draw area again after the window moved.
int ReapplyDrawArea();
