// Stand-in for creating component objects by class: a table of our own class factories.
#pragma once

#include "platform/types.h"

constexpr V_DWORD V_CLSCTX_INPROC_SERVER = 0x1;
constexpr V_DWORD V_CLSCTX_INPROC_HANDLER = 0x2;
constexpr V_DWORD V_CLSCTX_LOCAL_SERVER = 0x4;
constexpr V_DWORD V_CLSCTX_ALL = 0x7;
constexpr V_HRESULT V_REGDB_E_CLASSNOTREG = static_cast<V_HRESULT>(0x80040154u);
constexpr V_HRESULT V_CLASS_E_NOAGGREGATION = static_cast<V_HRESULT>(0x80040110u);

// Makes an object of the class with the asked interface. Unknown classes give
// V_REGDB_E_CLASSNOTREG; aggregation is not offered.
V_HRESULT V_CoCreateInstance(const V_GUID& classId, void* outer, V_DWORD context,
                             const V_GUID& interfaceId, void** object);
