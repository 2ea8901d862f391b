// Stand-ins for the component services: starting and ending them on a thread.
#pragma once

#include "platform/types.h"

// S_OK on the first start of a thread, S_FALSE when already started there.
V_HRESULT V_CoInitialize(void* reserved);
void V_CoUninitialize();
