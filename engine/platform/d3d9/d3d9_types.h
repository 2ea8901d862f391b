// Direct3D 9 stand-in: enumerations, constants and records, with the values the library passes.
#pragma once

#include <cstdint>

#include "platform/types.h"

typedef uint32_t V_D3DCOLOR;
typedef uint32_t V_D3DFORMAT;

constexpr uint32_t V_MAKEFOURCC(char a, char b, char c, char d) {
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
           (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24);
}

// Formats.
constexpr V_D3DFORMAT V_D3DFMT_UNKNOWN = 0;
constexpr V_D3DFORMAT V_D3DFMT_A8R8G8B8 = 21;
constexpr V_D3DFORMAT V_D3DFMT_X8R8G8B8 = 22;
constexpr V_D3DFORMAT V_D3DFMT_R5G6B5 = 23;
constexpr V_D3DFORMAT V_D3DFMT_X1R5G5B5 = 24;
constexpr V_D3DFORMAT V_D3DFMT_A1R5G5B5 = 25;
constexpr V_D3DFORMAT V_D3DFMT_A4R4G4B4 = 26;
constexpr V_D3DFORMAT V_D3DFMT_D32 = 71;
constexpr V_D3DFORMAT V_D3DFMT_D24X8 = 77;
constexpr V_D3DFORMAT V_D3DFMT_D16 = 80;
constexpr V_D3DFORMAT V_D3DFMT_INDEX16 = 101;
constexpr V_D3DFORMAT V_D3DFMT_INDEX32 = 102;
constexpr V_D3DFORMAT V_D3DFMT_DXT1 = V_MAKEFOURCC('D', 'X', 'T', '1');
constexpr V_D3DFORMAT V_D3DFMT_DXT2 = V_MAKEFOURCC('D', 'X', 'T', '2');
constexpr V_D3DFORMAT V_D3DFMT_DXT3 = V_MAKEFOURCC('D', 'X', 'T', '3');
constexpr V_D3DFORMAT V_D3DFMT_DXT4 = V_MAKEFOURCC('D', 'X', 'T', '4');
constexpr V_D3DFORMAT V_D3DFMT_DXT5 = V_MAKEFOURCC('D', 'X', 'T', '5');

// Render states.
enum : uint32_t {
    V_D3DRS_ZENABLE = 7,
    V_D3DRS_FILLMODE = 8,
    V_D3DRS_SHADEMODE = 9,
    V_D3DRS_ZWRITEENABLE = 14,
    V_D3DRS_ALPHATESTENABLE = 15,
    V_D3DRS_SRCBLEND = 19,
    V_D3DRS_DESTBLEND = 20,
    V_D3DRS_CULLMODE = 22,
    V_D3DRS_ZFUNC = 23,
    V_D3DRS_ALPHAREF = 24,
    V_D3DRS_ALPHAFUNC = 25,
    V_D3DRS_DITHERENABLE = 26,
    V_D3DRS_ALPHABLENDENABLE = 27,
    V_D3DRS_FOGENABLE = 28,
    V_D3DRS_SPECULARENABLE = 29,
    V_D3DRS_FOGCOLOR = 34,
    V_D3DRS_FOGTABLEMODE = 35,
    V_D3DRS_FOGSTART = 36,
    V_D3DRS_FOGEND = 37,
    V_D3DRS_FOGDENSITY = 38,
    V_D3DRS_TEXTUREFACTOR = 60,
    V_D3DRS_LIGHTING = 137,
    V_D3DRS_AMBIENT = 139,
    V_D3DRS_FOGVERTEXMODE = 140,
    V_D3DRS_DIFFUSEMATERIALSOURCE = 145,
    V_D3DRS_SPECULARMATERIALSOURCE = 146,
    V_D3DRS_BLENDOP = 171,
    V_D3DRS_SCISSORTESTENABLE = 174,
    V_D3DRS_DEPTHBIAS = 195,
};

// Texture-stage states.
enum : uint32_t {
    V_D3DTSS_COLOROP = 1,
    V_D3DTSS_COLORARG1 = 2,
    V_D3DTSS_COLORARG2 = 3,
    V_D3DTSS_ALPHAOP = 4,
    V_D3DTSS_ALPHAARG1 = 5,
    V_D3DTSS_ALPHAARG2 = 6,
    V_D3DTSS_TEXCOORDINDEX = 11,
    V_D3DTSS_TEXTURETRANSFORMFLAGS = 24,
};

// Sampler states.
enum : uint32_t {
    V_D3DSAMP_ADDRESSU = 1,
    V_D3DSAMP_ADDRESSV = 2,
    V_D3DSAMP_BORDERCOLOR = 4,
    V_D3DSAMP_MAGFILTER = 5,
    V_D3DSAMP_MINFILTER = 6,
    V_D3DSAMP_MIPFILTER = 7,
    V_D3DSAMP_MAXANISOTROPY = 10,
};

// Texture-stage operations.
enum : uint32_t {
    V_D3DTOP_DISABLE = 1,
    V_D3DTOP_SELECTARG1 = 2,
    V_D3DTOP_SELECTARG2 = 3,
    V_D3DTOP_MODULATE = 4,
    V_D3DTOP_MODULATE2X = 5,
    V_D3DTOP_MODULATE4X = 6,
    V_D3DTOP_ADD = 7,
    V_D3DTOP_ADDSIGNED = 8,
    V_D3DTOP_SUBTRACT = 10,
    V_D3DTOP_BLENDDIFFUSEALPHA = 12,
    V_D3DTOP_BLENDTEXTUREALPHA = 13,
    V_D3DTOP_BLENDFACTORALPHA = 14,
    V_D3DTOP_BLENDCURRENTALPHA = 16,
};

// Texture-stage arguments.
enum : uint32_t {
    V_D3DTA_DIFFUSE = 0,
    V_D3DTA_CURRENT = 1,
    V_D3DTA_TEXTURE = 2,
    V_D3DTA_TFACTOR = 3,
    V_D3DTA_SPECULAR = 4,
    V_D3DTA_SELECTMASK = 0x0F,
    V_D3DTA_COMPLEMENT = 0x10,
};

enum : uint32_t {
    V_D3DBLEND_ZERO = 1,
    V_D3DBLEND_ONE = 2,
    V_D3DBLEND_SRCCOLOR = 3,
    V_D3DBLEND_INVSRCCOLOR = 4,
    V_D3DBLEND_SRCALPHA = 5,
    V_D3DBLEND_INVSRCALPHA = 6,
    V_D3DBLEND_DESTALPHA = 7,
    V_D3DBLEND_INVDESTALPHA = 8,
    V_D3DBLEND_DESTCOLOR = 9,
    V_D3DBLEND_INVDESTCOLOR = 10,
};

enum : uint32_t {
    V_D3DBLENDOP_ADD = 1,
    V_D3DBLENDOP_SUBTRACT = 2,
    V_D3DBLENDOP_REVSUBTRACT = 3,
    V_D3DBLENDOP_MIN = 4,
    V_D3DBLENDOP_MAX = 5,
};

enum : uint32_t {
    V_D3DCMP_NEVER = 1,
    V_D3DCMP_LESS = 2,
    V_D3DCMP_EQUAL = 3,
    V_D3DCMP_LESSEQUAL = 4,
    V_D3DCMP_GREATER = 5,
    V_D3DCMP_NOTEQUAL = 6,
    V_D3DCMP_GREATEREQUAL = 7,
    V_D3DCMP_ALWAYS = 8,
};

enum : uint32_t {
    V_D3DTEXF_NONE = 0,
    V_D3DTEXF_POINT = 1,
    V_D3DTEXF_LINEAR = 2,
    V_D3DTEXF_ANISOTROPIC = 3,
};

enum : uint32_t {
    V_D3DTADDRESS_WRAP = 1,
    V_D3DTADDRESS_MIRROR = 2,
    V_D3DTADDRESS_CLAMP = 3,
    V_D3DTADDRESS_BORDER = 4,
};

enum : uint32_t { V_D3DCULL_NONE = 1, V_D3DCULL_CW = 2, V_D3DCULL_CCW = 3 };
enum : uint32_t { V_D3DSHADE_FLAT = 1, V_D3DSHADE_GOURAUD = 2 };
enum : uint32_t { V_D3DMCS_MATERIAL = 0, V_D3DMCS_COLOR1 = 1, V_D3DMCS_COLOR2 = 2 };
enum : uint32_t { V_D3DFOG_NONE = 0, V_D3DFOG_EXP = 1, V_D3DFOG_EXP2 = 2, V_D3DFOG_LINEAR = 3 };
enum : uint32_t { V_D3DZB_FALSE = 0, V_D3DZB_TRUE = 1 };

// Transform slots.
enum : uint32_t {
    V_D3DTS_VIEW = 2,
    V_D3DTS_PROJECTION = 3,
    V_D3DTS_TEXTURE0 = 16,
    V_D3DTS_WORLD = 256,
};
enum : uint32_t { V_D3DTTFF_DISABLE = 0, V_D3DTTFF_COUNT3 = 3 };

enum : uint32_t { V_D3DCLEAR_TARGET = 1, V_D3DCLEAR_ZBUFFER = 2, V_D3DCLEAR_STENCIL = 4 };

enum : uint32_t { V_D3DPOOL_DEFAULT = 0, V_D3DPOOL_MANAGED = 1, V_D3DPOOL_SYSTEMMEM = 2 };
enum : uint32_t {
    V_D3DUSAGE_RENDERTARGET = 1,
    V_D3DUSAGE_DEPTHSTENCIL = 2,
    V_D3DUSAGE_WRITEONLY = 8,
    V_D3DUSAGE_DYNAMIC = 0x200,
};
enum : uint32_t { V_D3DRTYPE_SURFACE = 1, V_D3DRTYPE_TEXTURE = 3 };
enum : uint32_t { V_D3DLOCK_READONLY = 0x10, V_D3DLOCK_DISCARD = 0x2000 };

enum : uint32_t { V_D3DLIGHT_POINT = 1, V_D3DLIGHT_SPOT = 2, V_D3DLIGHT_DIRECTIONAL = 3 };

enum : uint32_t { V_D3DPT_POINTLIST = 1, V_D3DPT_LINELIST = 2, V_D3DPT_LINESTRIP = 3,
                  V_D3DPT_TRIANGLELIST = 4, V_D3DPT_TRIANGLESTRIP = 5, V_D3DPT_TRIANGLEFAN = 6 };

// Flexible vertex format bits.
enum : uint32_t {
    V_D3DFVF_XYZ = 0x002,
    V_D3DFVF_XYZRHW = 0x004,
    V_D3DFVF_NORMAL = 0x010,
    V_D3DFVF_DIFFUSE = 0x040,
    V_D3DFVF_SPECULAR = 0x080,
    V_D3DFVF_TEXCOUNT_SHIFT = 8,
    V_D3DFVF_TEX1 = 0x100,
    V_D3DFVF_TEX2 = 0x200,
};

// Device creation and presenting.
enum : uint32_t { V_D3DDEVTYPE_HAL = 1 };
enum : uint32_t {
    V_D3DCREATE_FPU_PRESERVE = 0x02,
    V_D3DCREATE_MULTITHREADED = 0x04,
    V_D3DCREATE_SOFTWARE_VERTEXPROCESSING = 0x20,
    V_D3DCREATE_HARDWARE_VERTEXPROCESSING = 0x40,
    V_D3DCREATE_MIXED_VERTEXPROCESSING = 0x80,
};
enum : uint32_t { V_D3DSWAPEFFECT_DISCARD = 1, V_D3DSWAPEFFECT_FLIP = 2, V_D3DSWAPEFFECT_COPY = 3 };
constexpr uint32_t V_D3DPRESENTFLAG_LOCKABLE_BACKBUFFER = 1;
constexpr uint32_t V_D3DPRESENT_INTERVAL_ONE = 1;
constexpr uint32_t V_D3DPRESENT_INTERVAL_IMMEDIATE = 0x80000000u;
constexpr uint32_t V_D3DBACKBUFFER_TYPE_MONO = 0;
constexpr uint32_t V_D3D_SDK_VERSION = 32;
constexpr uint32_t V_D3DPMISCCAPS_BLENDOP = 0x800;
constexpr uint32_t V_D3DPTEXTURECAPS_POW2 = 0x2;
constexpr uint32_t V_D3DPTEXTURECAPS_SQUAREONLY = 0x20;
constexpr uint32_t V_D3DMULTISAMPLE_NONE = 0;

constexpr uint32_t V_D3DVS_VERSION(uint32_t major, uint32_t minor) {
    return 0xFFFE0000u | (major << 8) | minor;
}
constexpr uint32_t V_D3DPS_VERSION(uint32_t major, uint32_t minor) {
    return 0xFFFF0000u | (major << 8) | minor;
}

// Result codes.
constexpr V_HRESULT V_D3DERR_WRONGTEXTUREFORMAT = static_cast<V_HRESULT>(0x88760818u);
constexpr V_HRESULT V_D3DERR_DEVICELOST = static_cast<V_HRESULT>(0x88760868u);
constexpr V_HRESULT V_D3DERR_DEVICENOTRESET = static_cast<V_HRESULT>(0x88760869u);
constexpr V_HRESULT V_D3DERR_NOTAVAILABLE = static_cast<V_HRESULT>(0x8876086Au);
constexpr V_HRESULT V_D3DERR_OUTOFVIDEOMEMORY = static_cast<V_HRESULT>(0x8876017Cu);
constexpr V_HRESULT V_D3DERR_INVALIDCALL = static_cast<V_HRESULT>(0x8876086Cu);

// Vertex declarations.
enum : uint8_t {
    V_D3DDECLTYPE_FLOAT2 = 1,
    V_D3DDECLTYPE_FLOAT3 = 2,
    V_D3DDECLTYPE_FLOAT4 = 3,
    V_D3DDECLTYPE_D3DCOLOR = 4,
    V_D3DDECLTYPE_UBYTE4 = 5,
    V_D3DDECLTYPE_UNUSED = 17,
};
enum : uint8_t {
    V_D3DDECLUSAGE_POSITION = 0,
    V_D3DDECLUSAGE_BLENDWEIGHT = 1,
    V_D3DDECLUSAGE_BLENDINDICES = 2,
    V_D3DDECLUSAGE_NORMAL = 3,
    V_D3DDECLUSAGE_TEXCOORD = 5,
    V_D3DDECLUSAGE_COLOR = 10,
};
enum : uint8_t { V_D3DDECLMETHOD_DEFAULT = 0 };

struct V_D3DVERTEXELEMENT9 {
    V_WORD Stream;
    V_WORD Offset;
    V_BYTE Type;
    V_BYTE Method;
    V_BYTE Usage;
    V_BYTE UsageIndex;
};
constexpr V_D3DVERTEXELEMENT9 V_D3DDECL_END = {0xFF, 0, V_D3DDECLTYPE_UNUSED, 0, 0, 0};

struct V_D3DMATRIX {
    float m[4][4];
};

struct V_D3DVECTOR {
    float x, y, z;
};

struct V_D3DCOLORVALUE {
    float r, g, b, a;
};

struct V_D3DLIGHT9 {
    uint32_t Type;
    V_D3DCOLORVALUE Diffuse;
    V_D3DCOLORVALUE Specular;
    V_D3DCOLORVALUE Ambient;
    V_D3DVECTOR Position;
    V_D3DVECTOR Direction;
    float Range;
    float Falloff;
    float Attenuation0;
    float Attenuation1;
    float Attenuation2;
    float Theta;
    float Phi;
};

// 17 floats: diffuse, ambient, specular, emissive, power.
struct V_D3DMATERIAL9 {
    V_D3DCOLORVALUE Diffuse;
    V_D3DCOLORVALUE Ambient;
    V_D3DCOLORVALUE Specular;
    V_D3DCOLORVALUE Emissive;
    float Power;
};

struct V_D3DVIEWPORT9 {
    V_DWORD X;
    V_DWORD Y;
    V_DWORD Width;
    V_DWORD Height;
    float MinZ;
    float MaxZ;
};

struct V_D3DRECT {
    V_LONG x1, y1, x2, y2;
};

struct V_D3DDISPLAYMODE {
    V_UINT Width;
    V_UINT Height;
    V_UINT RefreshRate;
    V_D3DFORMAT Format;
};

struct V_D3DPRESENT_PARAMETERS {
    V_UINT BackBufferWidth;
    V_UINT BackBufferHeight;
    V_D3DFORMAT BackBufferFormat;
    V_UINT BackBufferCount;
    uint32_t MultiSampleType;
    V_DWORD MultiSampleQuality;
    uint32_t SwapEffect;
    V_HWND hDeviceWindow;
    V_BOOL Windowed;
    V_BOOL EnableAutoDepthStencil;
    V_D3DFORMAT AutoDepthStencilFormat;
    V_DWORD Flags;
    V_UINT FullScreen_RefreshRateInHz;
    V_UINT PresentationInterval;
};

struct V_D3DSURFACE_DESC {
    V_D3DFORMAT Format;
    uint32_t Type;
    V_DWORD Usage;
    uint32_t Pool;
    uint32_t MultiSampleType;
    V_DWORD MultiSampleQuality;
    V_UINT Width;
    V_UINT Height;
};

struct V_D3DLOCKED_RECT {
    int32_t Pitch;
    void* pBits;
};

struct V_D3DADAPTER_IDENTIFIER9 {
    char Driver[512];
    char Description[512];
    char DeviceName[32];
    V_DWORD VendorId;
    V_DWORD DeviceId;
};

// The capability fields the library reads; the rest of the platform's record is not modelled.
struct V_D3DCAPS9 {
    uint32_t DeviceType;
    V_UINT AdapterOrdinal;
    V_DWORD PrimitiveMiscCaps;
    V_DWORD TextureCaps;
    V_DWORD MaxTextureWidth;
    V_DWORD MaxTextureHeight;
    V_DWORD MaxAnisotropy;
    V_DWORD MaxTextureBlendStages;
    V_DWORD MaxSimultaneousTextures;
    V_DWORD MaxActiveLights;
    V_DWORD VertexShaderVersion;
    V_DWORD MaxVertexShaderConst;
    V_DWORD PixelShaderVersion;
};
