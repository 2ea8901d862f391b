// Stand-ins for the shell's dropped-file services.
#pragma once

#include "platform/types.h"

typedef V_HANDLE V_HDROP;

// index 0xFFFFFFFF: the number of files. buffer null: the length of name `index` without its
// terminator. Otherwise copies at most size - 1 bytes and a terminator and returns the bytes
// copied. Names are code page 932. 0 for a bad handle or index.
V_UINT V_DragQueryFileA(V_HDROP drop, V_UINT index, char* buffer, V_UINT size);
void V_DragFinish(V_HDROP drop);

// Layer-internal: the window stand-in collects the names of one drop and posts the handle.
V_HDROP ShellCreateDrop();
void ShellAddDroppedFile(V_HDROP drop, const char* name);
