// Library start and end: every subsystem up in a fixed order, and down again.
#include "core/library.h"

#include "core/core.h"
#include "core/core_services.h"
#include "core/input.h"
#include "core/key_input.h"
#include "core/library_state.h"
#include "core/screen_log.h"
#include "core/window.h"
#include "draw/model.h"
#include "graphics/graphics.h"
#include "graphics/graphics_services.h"
#include "movie/movie.h"
#include "movie/movie_services.h"
#include "platform/com/com.h"
#include "platform/gdi/gdi.h"
#include "platform/kernel/kernel.h"
#include "sound/sound.h"
#include "sound/sound_services.h"


namespace {

void ChooseWindowModeForScreen() {
    if (g_Window.settings.windowed) return;
    if (!CanShowScreenFullScreen()) ChangeWindowMode(1);
}

// Undoes the steps taken so far after a failed start, so that the process can end cleanly.
void UndoFailedStart() {
    TerminateSoundSystem();
    EndInput();
    EndWindow();
    if (g_Library.comStarted) {
        V_CoUninitialize();
        WriteLog("ＣＯＭを終了... 完了\n");
        g_Library.comStarted = 0;
    }
    g_Library.initialising = 0;
    ReleaseDoubleStartClaim();
}

}  // namespace

int InitLibrary() {
    if (g_Library.initialised) return 0;
    g_Library.initialising = 1;

    ChooseWindowModeForScreen();

    BuildYuvTables();
    CloseArchives();
    SetFileAccessFunctions(nullptr);
    char folder[kPathBufferSize];
    folder[0] = '\0';
    GetFileAccessFunctions()->getCurrentDir(folder);
    FormatString(g_Library.logFolder, sizeof(g_Library.logFolder), "%s", folder);
    SetLogFolder(folder);
    // The check claims the program's place, so that of two copies started together one is
    // refused. A copy that its double-start check will refuse leaves the running copy's log
    // whole: its lines go to the end of that log instead of a new one.
    if (IsOtherCopyRunning())
        ContinueLogFile();
    else
        CreateLogFile();
    EndDoubleStartLook();  // a copy refused from now on writes after this log's start

    // This library draws in 16 or 32 bits only.
    V_HDC screen = V_GetDC(nullptr);
    int desktopBits = V_GetDeviceCaps(screen, V_BITSPIXEL) * V_GetDeviceCaps(screen, V_PLANES);
    V_ReleaseDC(nullptr, screen);
    if ((desktopBits == 24 && g_Window.settings.windowed) || GetColorBitDepth() == 24) {
        WriteLog("ＶＥＬＫライブラリは２４ビットカラーモードに対応していません\n");
        g_Library.initialising = 0;
        ReleaseDoubleStartClaim();
        return -1;
    }

    V_LARGE_INTEGER frequency;
    frequency.QuadPart = 0;
    V_QueryPerformanceFrequency(&frequency);
    g_Library.performanceFrequency = frequency.QuadPart;
    g_Library.performanceCounterFlag = frequency.QuadPart != 0 ? 1 : 0;

    LogSystemInfo();

    // The two stream operation sets are fixed tables of the stream code.
    SetGraphRestoreCallback(nullptr);

    if (!g_Library.comStarted) {
        WriteLog("ＣＯＭの初期化... ");
        if (V_SUCCEEDED(V_CoInitialize(nullptr))) {
            WriteLog("成功しました\n");
            g_Library.comStarted = 1;
        } else {
            WriteLog("ＣＯＭの初期化に失敗しました\n");
        }
    }

    if (CreateMainWindow() == -1) {
        UndoFailedStart();
        return -1;
    }
    if (InitInput() == -1) {
        UndoFailedStart();
        return -1;
    }
    InitializeSoundSystem();  // start-up goes on without sound
    if (InitGraphics() < 0) {
        UndoFailedStart();
        return -1;
    }

    InitKeyInput();
    g_Library.initialised = 1;

    if (!g_Window.settings.windowed) BringWindowToFront(g_Window.mainWindow, 1);
    InitScreenLog();
    SetDrawTarget(-2);
    SetDrawTarget(-4);
    InitModels();
    g_Library.initialising = 0;
    return 0;
}

int EndLibrary() {
    if (!g_Library.initialised) return 0;
    g_Library.ending = 1;

    EndScreenLog();

    EndNetwork();
    StopAndDeleteMusic();
    EndModels();
    EndGraphics();
    EndInput();
    TerminateSoundSystem();
    EndWindow();

    if (g_Library.comStarted) {
        V_CoUninitialize();
        WriteLog("ＣＯＭを終了... 完了\n");
        g_Library.comStarted = 0;
    }

    DeleteAllSoftImages();
    g_Library.initialised = 0;

    // Let the last messages through until the window is gone.
    int start = GetMilliseconds();
    while (ProcessMessage() == 0 && !g_Window.quit && !g_Window.destroyed) {
        if (IsFatalExitRunning() && GetMillisecondsSince(start) > 2000) break;
    }

    GetFileAccessFunctions()->setCurrentDir(g_Library.logFolder);
    CloseArchives();
    DumpAllocations();
    // Held to the last line, so that a copy started meanwhile does not start the log afresh.
    ReleaseDoubleStartClaim();
    return 0;
}
