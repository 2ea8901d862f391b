// Graphics path choice: DirectDraw, the Direct3D object, the device with its back buffer, swap
// chain and depth buffer, and the texture format table; the software path when any step fails.
#include <cstring>

#include "core/core.h"
#include "draw/model.h"
#include "graphics/device.h"
#include "graphics/render_state.h"
#include "graphics/screen.h"
#include "graphics/shader.h"
#include "platform/ddraw/ddraw.h"
#include "platform/kernel/kernel.h"

ScreenSettings g_ScreenSettings;
GraphicsDevice g_GraphicsDevice;

namespace {

template <class T>
void ReleaseObject(T** object) {
    if (*object != nullptr) (*object)->Release();
    *object = nullptr;
}

V_UINT Adapter() {
    return g_GraphicsDevice.settings.adapterSwitch ? static_cast<V_UINT>(g_GraphicsDevice.settings.adapter) : 0;
}

int ScreenWidth() { return g_ScreenSettings.width != 0 ? g_ScreenSettings.width : 640; }
int ScreenHeight() { return g_ScreenSettings.height != 0 ? g_ScreenSettings.height : 480; }

struct FormatCandidate {
    V_D3DFORMAT format;
    const char* name;
};

struct FormatRow {
    const char* line;  // with %s for the chosen name
    FormatCandidate candidates[3];
    const char* failure;  // null: fall back to another row
    int fallbackRow;
};

bool Accepts(V_DWORD usage, V_D3DFORMAT format) {
    return V_SUCCEEDED(g_GraphicsDevice.direct3D->CheckDeviceFormat(
        Adapter(), V_D3DDEVTYPE_HAL, g_GraphicsDevice.backBufferFormat, usage, V_D3DRTYPE_TEXTURE,
        format));
}

// Picks the first accepted candidate of a row; null name when none is.
const FormatCandidate* Choose(const FormatCandidate* candidates, V_DWORD usage) {
    for (int i = 0; i < 3 && candidates[i].name != nullptr; ++i)
        if (Accepts(usage, candidates[i].format)) return &candidates[i];
    return nullptr;
}

const char* FormatName(V_D3DFORMAT format, int row) {
    switch (format) {
    case V_D3DFMT_R5G6B5: return "V_D3DFMT_R5G6B5";
    case V_D3DFMT_X1R5G5B5: return "V_D3DFMT_X1R5G5B5";
    case V_D3DFMT_X8R8G8B8: return "V_D3DFMT_X8R8G8B8";
    case V_D3DFMT_A4R4G4B4: return "V_D3DFMT_A4R4G4B4";
    case V_D3DFMT_A8R8G8B8: return "V_D3DFMT_A8R8G8B8";
    case V_D3DFMT_A1R5G5B5: return "V_D3DFMT_A1R5G5B5";
    default: (void)row; return "?";
    }
}

int BuildTextureFormatTable() {
    V_D3DFORMAT* rows = g_GraphicsDevice.textureFormats.formats;
    const FormatCandidate kR565 = {V_D3DFMT_R5G6B5, "V_D3DFMT_R5G6B5"};
    const FormatCandidate kX1555 = {V_D3DFMT_X1R5G5B5, "V_D3DFMT_X1R5G5B5"};
    const FormatCandidate kX888 = {V_D3DFMT_X8R8G8B8, "V_D3DFMT_X8R8G8B8"};
    const FormatCandidate kA4444 = {V_D3DFMT_A4R4G4B4, "V_D3DFMT_A4R4G4B4"};
    const FormatCandidate kA8888 = {V_D3DFMT_A8R8G8B8, "V_D3DFMT_A8R8G8B8"};
    const FormatCandidate kA1555 = {V_D3DFMT_A1R5G5B5, "V_D3DFMT_A1R5G5B5"};
    const FormatRow kColourRows[6] = {
        {"16bit カラーフォーマットは %s です", {kR565, kX1555, {}},
         "使用できる 16bit カラーフォーマットが見つかりませんでした\n", 0},
        {"32bit カラーフォーマットは %s です", {kX888, {}, {}}, nullptr, 0},
        {"アルファ付き 16bit カラーフォーマットは %s です", {kA4444, kA8888, {}},
         "使用できるアルファ付き 16bit カラーフォーマットが見つかりませんでした\n", 0},
        {"アルファ付き 32bit カラーフォーマットは %s です", {kA8888, kA4444, {}},
         "使用できるアルファ付き 32bit カラーフォーマットが見つかりませんでした\n", 0},
        {"アルファテスト用 16bit カラーフォーマットは %s です", {kA1555, kA8888, kA4444},
         "使用できるアルファテスト用 16bit カラーフォーマットが見つかりませんでした\n", 0},
        {"アルファテスト用 32bit カラーフォーマットは %s です", {kA8888, kA1555, kA4444},
         "使用できるアルファテスト用 32bit カラーフォーマットが見つかりませんでした\n", 0},
    };
    for (int row = 0; row < 6; ++row) {
        const FormatCandidate* chosen = Choose(kColourRows[row].candidates, 0);
        if (chosen == nullptr && kColourRows[row].failure != nullptr) {
            WriteLog(kColourRows[row].failure);
            return -1;
        }
        rows[row] = chosen != nullptr ? chosen->format : rows[0];
        WriteLogFormat(kColourRows[row].line,
                       chosen != nullptr ? chosen->name : FormatName(rows[0], 0));
    }

    static const char* const kDxtLines[5] = {
        "ＤＸＴ１テクスチャフォーマットは%s", "ＤＸＴ２テクスチャフォーマットは%s",
        "ＤＸＴ３テクスチャフォーマットは%s", "ＤＸＴ４テクスチャフォーマットは%s",
        "ＤＸＴ５テクスチャフォーマットは%s"};
    static const char* const kDxtNames[5] = {" V_D3DFMT_DXT1 です", " V_D3DFMT_DXT2 です",
                                             " V_D3DFMT_DXT3 です", " V_D3DFMT_DXT4 です",
                                             " V_D3DFMT_DXT5 です"};
    const V_D3DFORMAT kDxt[5] = {V_D3DFMT_DXT1, V_D3DFMT_DXT2, V_D3DFMT_DXT3, V_D3DFMT_DXT4,
                                 V_D3DFMT_DXT5};
    for (int i = 0; i < 5; ++i) {
        bool accepted = Accepts(0, kDxt[i]);
        rows[kTextureDxt1 + i] = accepted ? kDxt[i] : rows[i == 0 ? kTexture16AlphaTest : kTexture32Alpha];
        WriteLogFormat(kDxtLines[i], accepted ? kDxtNames[i] : "使えません");
    }

    bool backIs565 = g_GraphicsDevice.backBufferFormat == V_D3DFMT_R5G6B5;
    const FormatRow kTargetRows[3] = {
        {"描画用 16bit カラーフォーマットは %s です",
         {backIs565 ? FormatCandidate{V_D3DFMT_R5G6B5, "D3DFMT_R5G6B5"}
                    : FormatCandidate{V_D3DFMT_X1R5G5B5, "V_D3DFMT_R5G5B5"},
          backIs565 ? FormatCandidate{V_D3DFMT_X1R5G5B5, "D3DFMT_R5G5B5"}
                    : FormatCandidate{V_D3DFMT_R5G6B5, "V_D3DFMT_R5G6B5"},
          kX888},
         "使用できる描画用 16bit カラーフォーマットがありませんでした\n", 0},
        {"描画用 32bit カラーフォーマットは %s です",
         {kX888, {V_D3DFMT_R5G6B5, "D3DFMT_R5G6B5"}, {V_D3DFMT_X1R5G5B5, "D3DFMT_R5G5B5"}},
         "使用できる描画用 32bit カラーフォーマットがありませんでした\n", 0},
        {"描画用アルファ付き 32bit カラーフォーマットは %s です",
         {kA8888, {V_D3DFMT_A4R4G4B4, "D3DFMT_A4R4G4B4"}, {}},
         "使用できる描画用アルファ付き 32bit カラーフォーマットがありませんでした\n", 0},
    };
    for (int i = 0; i < 3; ++i) {
        const FormatCandidate* chosen = Choose(kTargetRows[i].candidates, V_D3DUSAGE_RENDERTARGET);
        if (chosen == nullptr) {
            WriteLog(kTargetRows[i].failure);
            rows[kTextureTarget16 + i] = 0;
            continue;
        }
        rows[kTextureTarget16 + i] = chosen->format;
        WriteLogFormat(kTargetRows[i].line, chosen->name);
    }
    bool depth32 = g_ScreenSettings.colorDepth == 32;
    rows[kTextureTargetScreen] = depth32 ? rows[kTextureTarget32] : rows[kTextureTarget16];
    rows[kTextureAlphaTestScreen] = depth32 ? rows[kTexture32AlphaTest] : rows[kTexture16AlphaTest];
    return 0;
}

int ChooseDepthFormat() {
    static const FormatCandidate kDepths[3] = {{V_D3DFMT_D16, "D3DFMT_D16"},
                                               {V_D3DFMT_D24X8, "D3DFMT_D24X8"},
                                               {V_D3DFMT_D32, "D3DFMT_D32"}};
    V_D3DFORMAT back = g_GraphicsDevice.backBufferFormat;
    for (const FormatCandidate& candidate : kDepths) {
        if (V_SUCCEEDED(g_GraphicsDevice.direct3D->CheckDepthStencilMatch(
                Adapter(), V_D3DDEVTYPE_HAL, back, back, candidate.format))) {
            g_GraphicsDevice.textureFormats.depthFormat = candidate.format;
            WriteLogFormat("Ｚバッファのフォーマットは %s です", candidate.name);
            return 0;
        }
    }
    WriteLog("使用できる Zバッファフォーマットが見つかりませんでした\n");
    return -1;
}

void ReleaseDeviceObjects() {
    ReleaseObject(&g_GraphicsDevice.depthSurface);
    ReleaseObject(&g_GraphicsDevice.subBackBuffer);
    ReleaseObject(&g_GraphicsDevice.backBuffer);
    ReleaseObject(&g_GraphicsDevice.swapChain);
    ReleaseObject(&g_GraphicsDevice.device);
}

}  // namespace

int CreateDirectDraw() {
    ReleaseObject(&g_GraphicsDevice.directDraw);
    WriteLog("DirectDraw オブジェクトの取得を行います....  ");
    void* object = nullptr;
    if (V_FAILED(V_DirectDrawCreateEx(nullptr, &object, V_IID_IDirectDraw7, nullptr)) ||
        object == nullptr) {
        WriteLog("オブジェクトの取得に失敗しました\n");
        return -1;
    }
    auto* directDraw = static_cast<V_IDirectDraw7*>(object);
    WriteLog("成功\n");
    WriteLog("引き続き初期化処理... ");
    if (V_FAILED(directDraw->Initialize(nullptr))) {
        WriteLog("DirectDrawオブジェクトの初期化に失敗しました\n");
        directDraw->Release();
        return -1;
    }
    WriteLog("初期化に成功しました\n");
    g_GraphicsDevice.directDraw = directDraw;
    directDraw->SetCooperativeLevel(
        GetDeviceWindow(),
        V_DDSCL_NORMAL | (g_GraphicsDevice.settings.keepFpuState ? V_DDSCL_FPUPRESERVE : 0));
    if (g_GraphicsDevice.settings.primarySurfaceTest) {
        V_DDSURFACEDESC2 desc{};
        desc.dwSize = sizeof desc;
        desc.dwFlags = V_DDSD_CAPS;
        desc.ddsCaps[0] = V_DDSCAPS_PRIMARYSURFACE | V_DDSCAPS_3DDEVICE;
        V_IDirectDrawSurface7* surface = nullptr;
        if (V_SUCCEEDED(directDraw->CreateSurface(&desc, &surface, nullptr)) && surface != nullptr) {
            V_HDC dc = nullptr;
            if (V_SUCCEEDED(surface->GetDC(&dc))) surface->ReleaseDC(dc);
            surface->Release();
        }
    }
    return 0;
}

int CreateDirect3D() {
    ReleaseObject(&g_GraphicsDevice.direct3D);
    WriteLog("IDirect3D9 オブジェクトを取得します.... ");
    auto create = reinterpret_cast<V_IDirect3D9* (*)(V_UINT)>(
        V_GetProcAddress(g_GraphicsDevice.module, "Direct3DCreate9"));
    if (create == nullptr) {
        WriteLog("Direct3DCreate9 APIのアドレス取得に失敗しました\n");
        return -1;
    }
    g_GraphicsDevice.direct3D = create(V_D3D_SDK_VERSION);
    if (g_GraphicsDevice.direct3D == nullptr) {
        WriteLog("IDirect3D9 オブジェクトの取得に失敗しました\n");
        return -1;
    }
    WriteLog("成功\n");
    return 0;
}

int CreateDevice9() {
    V_IDirect3D9* direct3D = g_GraphicsDevice.direct3D;
    if (direct3D == nullptr) return -1;
    ReleaseDeviceObjects();
    WriteLog("IDirect3DDevice9 オブジェクトを取得します.... ");
    DeviceCreationSettings& settings = g_GraphicsDevice.settings;

    V_D3DPRESENT_PARAMETERS parameters{};
    parameters.BackBufferWidth = static_cast<V_UINT>(ScreenWidth());
    parameters.BackBufferHeight = static_cast<V_UINT>(ScreenHeight());
    parameters.BackBufferCount = 1;
    parameters.hDeviceWindow = GetDeviceWindow();
    parameters.EnableAutoDepthStencil = V_FALSE;
    parameters.PresentationInterval =
        g_ScreenSettings.noVSync ? V_D3DPRESENT_INTERVAL_IMMEDIATE : V_D3DPRESENT_INTERVAL_ONE;

    if (IsWindowedMode()) {
        V_D3DDISPLAYMODE mode{};
        direct3D->GetAdapterDisplayMode(0, &mode);
        // A 32-bit screen asked for by a mode change on a desktop of fewer bits keeps its depth
        // where the device can render to a 32-bit back buffer, rather than silently losing
        // colour; otherwise the window takes the desktop's format.
        if (g_ScreenState.depthAsked == 32 && g_ScreenSettings.colorDepth == 32 &&
            mode.Format != V_D3DFMT_X8R8G8B8 &&
            V_SUCCEEDED(direct3D->CheckDeviceFormat(0, V_D3DDEVTYPE_HAL, mode.Format,
                                                    V_D3DUSAGE_RENDERTARGET, V_D3DRTYPE_SURFACE,
                                                    V_D3DFMT_X8R8G8B8)))
            mode.Format = V_D3DFMT_X8R8G8B8;
        parameters.BackBufferFormat = mode.Format;
        if (mode.Format == V_D3DFMT_X8R8G8B8) g_ScreenSettings.colorDepth = 32;
        else if (mode.Format == V_D3DFMT_R5G6B5 || mode.Format == V_D3DFMT_X1R5G5B5 ||
                 mode.Format == V_D3DFMT_A1R5G5B5)
            g_ScreenSettings.colorDepth = 16;
        parameters.Windowed = V_TRUE;
    } else {
        int depth = g_ScreenSettings.colorDepth != 0 ? g_ScreenSettings.colorDepth : 16;
        if (depth == 16) {
            parameters.BackBufferFormat =
                direct3D->GetAdapterModeCount(Adapter(), V_D3DFMT_R5G6B5) != 0 ? V_D3DFMT_R5G6B5
                                                                               : V_D3DFMT_X1R5G5B5;
        } else if (depth == 32) {
            parameters.BackBufferFormat = V_D3DFMT_X8R8G8B8;
        } else {
            WriteLog("非対応のバックバッファービット深度が指定されました\n");
            return -1;
        }
        parameters.Windowed = V_FALSE;
        parameters.FullScreen_RefreshRateInHz = static_cast<V_UINT>(g_ScreenSettings.refreshRate);
    }

    if (settings.multiSampleType != 0) {
        uint32_t type = settings.multiSampleType;
        V_DWORD colorLevels = 0, depthLevels = 0;
        while (type > 0 && V_FAILED(direct3D->CheckDeviceMultiSampleType(
                               0, V_D3DDEVTYPE_HAL, parameters.BackBufferFormat,
                               parameters.Windowed, type, &colorLevels)))
            --type;
        while (type > 0 && V_FAILED(direct3D->CheckDeviceMultiSampleType(
                               0, V_D3DDEVTYPE_HAL, V_D3DFMT_D16, parameters.Windowed, type,
                               &depthLevels)))
            --type;
        if (type == 0) {
            settings.multiSampleQuality = 0;
        } else {
            V_DWORD levels = colorLevels < depthLevels ? colorLevels : depthLevels;
            if (levels == 0) levels = 1;
            if (settings.multiSampleQuality > levels - 1) settings.multiSampleQuality = levels - 1;
        }
        settings.multiSampleType = type;
    }
    bool multisampled = settings.multiSampleType != 0;
    parameters.MultiSampleType = settings.multiSampleType;
    parameters.MultiSampleQuality = settings.multiSampleQuality;
    parameters.SwapEffect = multisampled ? V_D3DSWAPEFFECT_DISCARD : V_D3DSWAPEFFECT_COPY;
    parameters.Flags = multisampled ? 0 : V_D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;

    V_DWORD optional = (settings.multithreaded ? static_cast<V_DWORD>(V_D3DCREATE_MULTITHREADED) : 0u) |
                       (settings.keepFpuState ? static_cast<V_DWORD>(V_D3DCREATE_FPU_PRESERVE) : 0u);
    V_D3DPRESENT_PARAMETERS kept = parameters;
    bool created = false;
    g_GraphicsDevice.shaderModel = 0;
    if (!settings.forceSoftwareVertexProcessing) {
        V_D3DCAPS9 caps{};
        direct3D->GetDeviceCaps(Adapter(), V_D3DDEVTYPE_HAL, &caps);
        g_GraphicsDevice.shaderModel = (caps.VertexShaderVersion & 0xFFFF) >= 0x0200 &&
                                       (caps.PixelShaderVersion & 0xFFFF) >= 0x0200;
        V_DWORD behaviour = (g_GraphicsDevice.shaderModel ? static_cast<V_DWORD>(V_D3DCREATE_MIXED_VERTEXPROCESSING)
                                                          : static_cast<V_DWORD>(V_D3DCREATE_SOFTWARE_VERTEXPROCESSING)) |
                            optional;
        created = V_SUCCEEDED(direct3D->CreateDevice(Adapter(), V_D3DDEVTYPE_HAL,
                                                     GetDeviceWindow(), behaviour, &parameters,
                                                     &g_GraphicsDevice.device));
        if (created) WriteLog("ハードウエア頂点演算を使用します\n");
    }
    if (!created) {
        g_GraphicsDevice.shaderModel = 0;
        parameters = kept;
        if (V_FAILED(direct3D->CreateDevice(Adapter(), V_D3DDEVTYPE_HAL, GetDeviceWindow(),
                                            V_D3DCREATE_SOFTWARE_VERTEXPROCESSING | optional,
                                            &parameters, &g_GraphicsDevice.device))) {
            g_GraphicsDevice.device = nullptr;
            WriteLog("Direct3DDevice9 の作成に失敗しました\n");
            return -1;
        }
        WriteLog("ソフトウエア頂点演算を使用します\n");
    }
    V_IDirect3DDevice9* device = g_GraphicsDevice.device;

    ForgetCurrentDeviceObjects();
    device->SetRenderState(V_D3DRS_ZENABLE, V_TRUE);
    V_D3DCOLOR background = GetBackgroundColorRGB() & 0x00FFFFFF;
    for (int i = 0; i < 3; ++i) {
        device->Clear(0, nullptr, V_D3DCLEAR_TARGET, background, 1.0f, 0);
        device->Present(nullptr, nullptr, GetDeviceWindow(), nullptr);
    }
    device->Clear(0, nullptr, V_D3DCLEAR_TARGET, background, 1.0f, 0);

    if (V_FAILED(device->GetBackBuffer(0, 0, V_D3DBACKBUFFER_TYPE_MONO,
                                       &g_GraphicsDevice.backBuffer)) ||
        V_FAILED(device->GetSwapChain(0, &g_GraphicsDevice.swapChain))) {
        g_GraphicsDevice.backBuffer = nullptr;
        g_GraphicsDevice.swapChain = nullptr;
        WriteLog("Direct3DDevice9 の作成に失敗しました\n");
        return -1;
    }
    WriteLog("成功\n");

    V_D3DCAPS9& caps = g_GraphicsDevice.caps;
    device->GetDeviceCaps(&caps);
    g_GraphicsDevice.vertexShader20 =
        g_GraphicsDevice.shaderModel && (caps.VertexShaderVersion & 0xFFFF) >= 0x0200;
    g_GraphicsDevice.pixelShader20 =
        g_GraphicsDevice.shaderModel && (caps.PixelShaderVersion & 0xFFFF) >= 0x0200;
    g_GraphicsDevice.blendOperation = (caps.PrimitiveMiscCaps & V_D3DPMISCCAPS_BLENDOP) != 0;
    int maxWidth = caps.MaxTextureWidth != 0 ? static_cast<int>(caps.MaxTextureWidth) : 256;
    int maxHeight = caps.MaxTextureHeight != 0 ? static_cast<int>(caps.MaxTextureHeight) : 256;
    g_GraphicsDevice.maxTextureSize = maxWidth < maxHeight ? maxWidth : maxHeight;
    g_RenderStates.diffuseSource = 255;
    g_RenderStates.specularSource = 255;

    V_D3DADAPTER_IDENTIFIER9 identifier{};
    direct3D->GetAdapterIdentifier(0, 0, &identifier);
    identifier.Driver[sizeof identifier.Driver - 1] = '\0';
    identifier.Description[sizeof identifier.Description - 1] = '\0';
    WriteLogFormat("Driver:%s  Description:%s", identifier.Driver, identifier.Description);

    V_D3DSURFACE_DESC desc{};
    g_GraphicsDevice.backBuffer->GetDesc(&desc);
    g_GraphicsDevice.backBufferFormat = desc.Format;
    const char* formatName = desc.Format == V_D3DFMT_X8R8G8B8   ? "D3DFMT_X8R8G8B8"
                             : desc.Format == V_D3DFMT_R5G6B5   ? "D3DFMT_R5G6B5"
                             : desc.Format == V_D3DFMT_X1R5G5B5 ? "D3DFMT_X1R5G5B5"
                                                                : nullptr;
    if (formatName == nullptr) {
        WriteLogFormat("バックバッファが対応していないフォーマット %d です",
                       static_cast<int>(desc.Format));
        formatName = "D3DFMT_UNKNOWN";
    }
    WriteLogFormat("画面のフォーマットは %s です", formatName);

    if (ChooseDepthFormat() != 0) return -1;
    return BuildTextureFormatTable();
}

int CreateZBuffer() {
    V_IDirect3DDevice9* device = g_GraphicsDevice.device;
    if (device == nullptr) return -1;
    ReleaseObject(&g_GraphicsDevice.depthSurface);
    int width = 1, height = 1;
    while (width < ScreenWidth()) width <<= 1;
    while (height < ScreenHeight()) height <<= 1;
    if (V_FAILED(device->CreateDepthStencilSurface(
            static_cast<V_UINT>(width), static_cast<V_UINT>(height),
            g_GraphicsDevice.textureFormats.depthFormat, g_GraphicsDevice.settings.multiSampleType,
            g_GraphicsDevice.settings.multiSampleQuality, V_FALSE, &g_GraphicsDevice.depthSurface,
            nullptr))) {
        g_GraphicsDevice.depthSurface = nullptr;
        return -1;
    }
    g_GraphicsDevice.depthWidth = width;
    g_GraphicsDevice.depthHeight = height;
    if (V_FAILED(device->SetDepthStencilSurface(g_GraphicsDevice.depthSurface))) {
        ReleaseObject(&g_GraphicsDevice.depthSurface);
        return -1;
    }
    return 0;
}

int CreateSubBackBuffer() {
    V_IDirect3DDevice9* device = g_GraphicsDevice.device;
    if (device == nullptr) return -1;
    ReleaseObject(&g_GraphicsDevice.subBackBuffer);
    if (V_FAILED(device->CreateRenderTarget(
            static_cast<V_UINT>(ScreenWidth()), static_cast<V_UINT>(ScreenHeight()),
            g_GraphicsDevice.backBufferFormat, g_GraphicsDevice.settings.multiSampleType,
            g_GraphicsDevice.settings.multiSampleQuality, V_FALSE,
            &g_GraphicsDevice.subBackBuffer, nullptr))) {
        g_GraphicsDevice.subBackBuffer = nullptr;
        WriteLog("サブバックバッファの作成に失敗しました\n");
        return -1;
    }
    return 0;
}

int SetupGraphicsDevice() {
    g_GraphicsDevice.module = V_LoadLibraryA("d3d9.dll");
    if (g_GraphicsDevice.module == nullptr) {
        WriteLog("d3d9.dll の読み込みに失敗しました\n");
        return -1;
    }
    if (CreateDirectDraw() != 0) {
        V_FreeLibrary(g_GraphicsDevice.module);
        g_GraphicsDevice.module = nullptr;
        return -1;
    }
    g_ScreenSettings.useDirect3D = 0;
    if (!g_ScreenSettings.softwareForced) {
        if (CreateDirect3D() == 0 && CreateDevice9() == 0 && CreateZBuffer() == 0) {
            g_ScreenSettings.useDirect3D = 1;
            SetupShaders();
            if (g_ShaderState.programmable) CreateVertexDeclarations();
            return 0;
        }
        // Everything taken on the way is given back before the software path.
        ReleaseObject(&g_GraphicsDevice.depthSurface);
        ReleaseObject(&g_GraphicsDevice.backBuffer);
        ReleaseObject(&g_GraphicsDevice.swapChain);
        ReleaseObject(&g_GraphicsDevice.device);
        ReleaseObject(&g_GraphicsDevice.direct3D);
    }
    if (IsWindowedMode()) return 0;
    return ChangeToFullScreenMode();
}

int TerminateGraphicsDevice() {
    ReleaseModelDeviceObjects();
    ReleaseVertexDeclarations();
    ReleaseShaderObjects();
    if (!g_ScreenSettings.useDirect3D) RestoreDisplayMode();
    ReleaseDeviceObjects();
    ReleaseObject(&g_GraphicsDevice.direct3D);
    ReleaseObject(&g_GraphicsDevice.directDraw);
    if (g_GraphicsDevice.module != nullptr) V_FreeLibrary(g_GraphicsDevice.module);
    g_GraphicsDevice.module = nullptr;
    FreeDisplayModeList();
    g_RenderStates.sceneOpen = 0;
    g_RenderStates.renderTarget = nullptr;
    return 0;
}
