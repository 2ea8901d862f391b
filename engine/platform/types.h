// Basic platform types, handles, structures and result codes used across the platform layer.
#pragma once

#include <cstddef>
#include <cstdint>

typedef int32_t V_BOOL;
typedef uint8_t V_BYTE;
typedef uint16_t V_WORD;
typedef uint32_t V_DWORD;
typedef uint32_t V_UINT;
typedef int32_t V_LONG;
typedef uint32_t V_ULONG;
typedef int32_t V_HRESULT;
typedef uintptr_t V_WPARAM;
typedef intptr_t V_LPARAM;
typedef intptr_t V_LRESULT;
typedef uintptr_t V_UINT_PTR;
typedef intptr_t V_INT_PTR;

constexpr V_BOOL V_TRUE = 1;
constexpr V_BOOL V_FALSE = 0;

// Opaque handles. Kernel objects (files, threads, events, find searches) share one handle type.
typedef void* V_HANDLE;
typedef struct V_HWND__* V_HWND;
typedef struct V_HINSTANCE__* V_HINSTANCE;
typedef V_HINSTANCE V_HMODULE;
typedef struct V_HDC__* V_HDC;
typedef struct V_HGDIOBJ__* V_HGDIOBJ;
typedef struct V_HBITMAP__* V_HBITMAP;
typedef struct V_HFONT__* V_HFONT;
typedef struct V_HBRUSH__* V_HBRUSH;
typedef struct V_HICON__* V_HICON;
typedef V_HICON V_HCURSOR;
typedef struct V_HMENU__* V_HMENU;

#define V_INVALID_HANDLE_VALUE (reinterpret_cast<V_HANDLE>(static_cast<intptr_t>(-1)))

constexpr int V_MAX_PATH = 260;

struct V_RECT {
    V_LONG left;
    V_LONG top;
    V_LONG right;
    V_LONG bottom;
};

struct V_POINT {
    V_LONG x;
    V_LONG y;
};

struct V_SIZE {
    V_LONG cx;
    V_LONG cy;
};

struct V_GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};

inline bool operator==(const V_GUID& a, const V_GUID& b) {
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3;
}

union V_LARGE_INTEGER {
    struct {
        uint32_t LowPart;
        int32_t HighPart;
    } u;
    int64_t QuadPart;
};

// 100-nanosecond intervals since 1601-01-01 UTC.
struct V_FILETIME {
    V_DWORD dwLowDateTime;
    V_DWORD dwHighDateTime;
};

struct V_SYSTEMTIME {
    V_WORD wYear;
    V_WORD wMonth;
    V_WORD wDayOfWeek;
    V_WORD wDay;
    V_WORD wHour;
    V_WORD wMinute;
    V_WORD wSecond;
    V_WORD wMilliseconds;
};

// Result codes.
constexpr V_HRESULT V_S_OK = 0;
constexpr V_HRESULT V_S_FALSE = 1;
constexpr V_HRESULT V_E_NOTIMPL = static_cast<V_HRESULT>(0x80004001u);
constexpr V_HRESULT V_E_NOINTERFACE = static_cast<V_HRESULT>(0x80004002u);
constexpr V_HRESULT V_E_POINTER = static_cast<V_HRESULT>(0x80004003u);
constexpr V_HRESULT V_E_FAIL = static_cast<V_HRESULT>(0x80004005u);
constexpr V_HRESULT V_E_OUTOFMEMORY = static_cast<V_HRESULT>(0x8007000Eu);
constexpr V_HRESULT V_E_INVALIDARG = static_cast<V_HRESULT>(0x80070057u);

inline bool V_SUCCEEDED(V_HRESULT hr) { return hr >= 0; }
inline bool V_FAILED(V_HRESULT hr) { return hr < 0; }

// Base of every reference-counted platform interface (Direct3D, DirectDraw, COM objects).
struct V_IUnknown {
    virtual V_HRESULT QueryInterface(const V_GUID& iid, void** object) = 0;
    virtual V_ULONG AddRef() = 0;
    virtual V_ULONG Release() = 0;

protected:
    ~V_IUnknown() = default;
};
