// Library start and end: the log of a whole run, the 24-bit refusal, the start without a
// display, the second-copy refusal and the fatal exit.
#include <SDL.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>

#include "core/core.h"
#include "core/library_state.h"
#include "core/window.h"
#include "support/child_call.h"
#include "test_window_support.h"

TEST(Library, StartsAndEndsWithEveryStepLoggedInOrder) {
    ScratchFolder folder;
    ChangeWindowMode(1);
    ASSERT_EQ(InitLibraryLocked(), 0);
    EXPECT_EQ(InitLibraryLocked(), 0) << "a second start does nothing";
    ASSERT_NE(GetMainWindowHandle(), nullptr);

    // The client area is the screen size, centred on the desktop.
    V_RECT client, window;
    ASSERT_TRUE(V_GetClientRect(GetMainWindowHandle(), &client));
    ASSERT_TRUE(V_GetWindowRect(GetMainWindowHandle(), &window));
    EXPECT_EQ(client.right - client.left, 640);
    EXPECT_EQ(client.bottom - client.top, 480);
    int desktopWidth = 0, desktopHeight = 0;
    GetDesktopMode(&desktopWidth, &desktopHeight, nullptr);
    EXPECT_EQ(window.left, (desktopWidth - 640) / 2);
    EXPECT_EQ(window.top, (desktopHeight - 480) / 2);
    EXPECT_EQ(GetWindowActiveFlag(), 1);

    for (int i = 0; i < 3; ++i) EXPECT_EQ(ProcessMessageLocked(), 0);
    EXPECT_EQ(EndLibraryLocked(), 0);
    EXPECT_EQ(EndLibraryLocked(), 0) << "a second end does nothing";
    EXPECT_EQ(GetMainWindowHandle(), nullptr);

    std::vector<std::string> lines = ReadLogLines();
    ASSERT_FALSE(lines.empty());
    std::regex stamped("^[0-9]+:.*");
    // Texts that end in a line end of their own, written by the formatting log call that adds
    // one more, leave an empty line; every other line starts with its stamp.
    for (const std::string& line : lines) {
        if (!line.empty()) {
            EXPECT_TRUE(std::regex_match(line, stamped)) << line;
        }
    }
    const char* steps[] = {
        "システムの情報を出力します",
        "ＣＯＭの初期化... 成功しました",
        "ソフトの二重起動検査... 二重起動はされていませんでした",
        "ウインドウクラスを登録します... 登録に成功しました",
        "ウインドウモード起動用のウインドウを作成します",
        "ウインドウの作成に成功しました",
        "文字コードバッファの初期化を行います... 完了しました",
        "ウインドウを閉じようとしています",
        "ウインドウが破棄されようとしています",
        "ソフトを終了する準備が整いました",
        "ＣＯＭを終了... 完了",
        "Alloc memory dump",
    };
    int at = 0;
    for (const char* step : steps) {
        int found = FindLogLine(lines, step, at);
        EXPECT_GE(found, at) << "missing or out of order: " << step;
        if (found >= 0) at = found;
    }
    std::string tail;
    for (size_t i = lines.size() > 8 ? lines.size() - 8 : 0; i < lines.size(); ++i)
        tail += lines[i] + "\n";
    EXPECT_NE(LastContentLine(lines).find("Total size:"), std::string::npos)
        << "the leak report ends the log:\n" << tail;
}

TEST(Library, RefusesA24BitDesktopBeforeMakingAWindow) {
    ScratchFolder folder;
    setenv("VELK_DESKTOP_BITS", "24", 1);
    ChangeWindowMode(1);
    EXPECT_EQ(InitLibraryLocked(), -1);
    unsetenv("VELK_DESKTOP_BITS");
    EXPECT_EQ(GetMainWindowHandle(), nullptr);
    EXPECT_EQ(g_Library.initialised.load(), 0);
    EXPECT_EQ(g_Library.initialising.load(), 0);
    std::vector<std::string> lines = ReadLogLines();
    EXPECT_GE(FindLogLine(lines, "ＶＥＬＫライブラリは２４ビットカラーモードに対応していません"), 0);
    EXPECT_EQ(FindLogLine(lines, "ウインドウクラスを登録します"), -1);
    // A 32-bit desktop is accepted.
    setenv("VELK_DESKTOP_BITS", "32", 1);
    EXPECT_EQ(InitLibraryLocked(), 0);
    unsetenv("VELK_DESKTOP_BITS");
    EXPECT_EQ(EndLibraryLocked(), 0);
}

// Wherever the user starts the program, the log is written there and the end sets the working
// folder back to it: a folder whose name code page 932 cannot write, one whose name ends in a
// double-byte character with a 0x5C second byte (表), and a path over 1 KB long. A user's
// "log.txt" there is not the log and stays as it was.
TEST(Library, LogsAndRestoresTheStartFolderFromAnyFolder) {
    ScratchFolder folder;
    std::string deep = folder.path();
    for (int i = 0; i < 6; ++i) deep += "/" + std::string(199, 'a' + i);
    ASSERT_GT(deep.size(), 1100u);
    for (const std::string& start :
         {folder.path() + "/caf\xC3\xA9", folder.path() + "/\xE8\xA1\xA8", deep}) {
        SCOPED_TRACE(start.size() > 300 ? "the long path" : start);
        std::filesystem::create_directories(start);
        std::ofstream(start + "/log.txt") << "user\n";
        ASSERT_EQ(chdir(start.c_str()), 0);
        ChangeWindowMode(1);
        ASSERT_EQ(InitLibraryLocked(), 0);
        ASSERT_EQ(chdir(folder.path().c_str()), 0);  // the program moves elsewhere meanwhile
        EXPECT_EQ(EndLibraryLocked(), 0);
        char now[4096] = {};
        ASSERT_NE(getcwd(now, sizeof(now)), nullptr);
        const std::string folderNow = now;
        EXPECT_TRUE(folderNow == start) << "the start folder was not restored; now in ..."
                                        << folderNow.substr(folderNow.size() - 40);
        std::vector<std::string> lines = ReadLogLines(start + "/Log.txt");
        EXPECT_GE(FindLogLine(lines, "システムの情報を出力します"), 0) << lines.size() << " lines";
        EXPECT_NE(LastContentLine(lines).find("Total size:"), std::string::npos);
        EXPECT_EQ(ReadLogLines(start + "/log.txt"), std::vector<std::string>{"user"});
        ASSERT_EQ(chdir(folder.path().c_str()), 0);
    }
}

namespace {

// Sets or removes an environment variable for the scope and puts the old value back.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value != nullptr)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedVariable() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace

// No driver asked for and no display to be reached: the start fails where the window would be
// made, instead of running in a window nobody sees.
TEST(Library, WithoutADisplayTheStartFails) {
    ASSERT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u) << "an earlier test left the video open";
    ScratchFolder folder;
    {
        ScopedVariable driver("SDL_VIDEODRIVER", nullptr);
        ScopedVariable display("DISPLAY", ":65000");  // no server there
        ScopedVariable wayland("WAYLAND_DISPLAY", nullptr);
        ScopedVariable runtime("XDG_RUNTIME_DIR", nullptr);
        ChangeWindowMode(1);
        int result = InitLibraryLocked();
        if (result == 0) {
            std::string used = SDL_GetCurrentVideoDriver();
            EndLibraryLocked();
            ASSERT_NE(used, "offscreen") << "started on a display nobody sees";
            GTEST_SKIP() << "a display of another kind (" << used << ") is reachable here";
        }
        EXPECT_EQ(result, -1);
        EXPECT_EQ(GetMainWindowHandle(), nullptr);
        EXPECT_EQ(g_Library.initialised.load(), 0);
        EXPECT_EQ(g_Library.initialising.load(), 0);
        std::vector<std::string> lines = ReadLogLines();
        EXPECT_GE(FindLogLine(lines, "ウインドウクラスの登録に失敗しました"), 0);
    }
    // With the environment back, the library starts.
    ChangeWindowMode(1);
    EXPECT_EQ(InitLibraryLocked(), 0);
    EXPECT_EQ(EndLibraryLocked(), 0);
}

// Run by the tests below in a child process: starts the library (when a third pipe is given,
// once the parent closes it, so that copies start together), tells the parent whether it started
// and holds it until told to end.
TEST(Library, SecondCopyHolder) {
    const char* pipes = std::getenv("VELK_TEST_HOLDER_PIPES");
    if (pipes == nullptr) GTEST_SKIP() << "helper of the second-copy tests";
    int ready = -1, release = -1, go = -1;
    ASSERT_GE(sscanf(pipes, "%d,%d,%d", &ready, &release, &go), 2);
    snprintf(g_Window.settings.className, sizeof(g_Window.settings.className), "%s",
             std::getenv("VELK_TEST_HOLDER_CLASS"));
    char byte = 0;
    if (go >= 0) read(go, &byte, 1);  // returns when the parent closes its end
    ChangeWindowMode(1);
    byte = InitLibraryLocked() == 0 ? 1 : 0;
    ASSERT_EQ(write(ready, &byte, 1), 1);
    if (byte == 0) return;
    read(release, &byte, 1);  // returns when the parent closes its end
    EndLibraryLocked();
}

namespace {

// A copy of this test program running SecondCopyHolder in `folder`.
struct Holder {
    pid_t pid = -1;
    int ready = -1;    // one byte: 1 started, 0 refused
    int release = -1;  // closed to end the copy

    Holder(const std::string& folder, const std::string& className, int go = -1) {
        // The parent's ends are closed in every copy, so that each copy sees its own release.
        int readyPipe[2], releasePipe[2];
        if (pipe2(readyPipe, O_CLOEXEC) != 0 || pipe2(releasePipe, O_CLOEXEC) != 0) return;
        pid = fork();
        if (pid == 0) {
            for (int kept : {readyPipe[1], releasePipe[0], go})
                if (kept >= 0) fcntl(kept, F_SETFD, 0);
            char pipes[64];
            snprintf(pipes, sizeof(pipes), "%d,%d,%d", readyPipe[1], releasePipe[0], go);
            setenv("VELK_TEST_HOLDER_PIPES", pipes, 1);
            setenv("VELK_TEST_HOLDER_CLASS", className.c_str(), 1);
            if (chdir(folder.c_str()) != 0) _exit(126);
            execl("/proc/self/exe", "/proc/self/exe", "--gtest_filter=Library.SecondCopyHolder",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(readyPipe[1]);
        close(releasePipe[0]);
        ready = readyPipe[0];
        release = releasePipe[1];
    }
    // 1 started, 0 refused, -1 ended without telling.
    int Started() const {
        char byte = 0;
        return read(ready, &byte, 1) == 1 ? byte : -1;
    }
    // Ends the copy; true when it exited with 0 within 20 s (it is killed after that).
    bool End() {
        close(release);
        int status = 0;
        for (int wait = 0; waitpid(pid, &status, WNOHANG) == 0; ++wait, SDL_Delay(10)) {
            if (wait == 2000) {
                kill(pid, SIGKILL);
                waitpid(pid, &status, 0);
                status = -1;
                break;
            }
        }
        close(ready);
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
};

// A class name of this run's own keeps other programs started beside it out of the check.
std::string OwnClassName() { return "VelkSecondCopy" + std::to_string(getpid()); }

}  // namespace

// The first copy runs from the second one's folder, then from another folder.
TEST(Library, RefusesASecondCopyFromAnyFolder) {
    ScratchFolder folder;
    const std::string kept = g_Window.settings.className;
    const std::string className = OwnClassName();
    snprintf(g_Window.settings.className, sizeof(g_Window.settings.className), "%s",
             className.c_str());
    const std::string other = folder.path() + "/other";
    std::filesystem::create_directories(other);
    // A start that fails after its check gives its claim up, so that the next one claims afresh.
    {
        ScopedVariable driver("SDL_VIDEODRIVER", nullptr), display("DISPLAY", ":65000"),
            wayland("WAYLAND_DISPLAY", nullptr), runtime("XDG_RUNTIME_DIR", nullptr);
        ChangeWindowMode(1);
        if (InitLibraryLocked() == 0) EndLibraryLocked();  // a display of another kind is reachable
    }
    for (const std::string& firstFolder : {folder.path(), other}) {
        SCOPED_TRACE("first copy started in " + firstFolder);
        Holder first(firstFolder, className);
        ASSERT_GE(first.pid, 0);
        ASSERT_EQ(first.Started(), 1) << "the first copy did not start";

        ChangeWindowMode(1);
        const int second = InitLibraryLocked();
        if (second == 0) EndLibraryLocked();
        EXPECT_EQ(second, -1) << "a second copy ran beside the first";
        EXPECT_EQ(GetQuitFlag(), 1);
        std::vector<std::string> lines = ReadLogLines();
        EXPECT_GE(FindLogLine(lines, "二重起動されています、ソフトを終了します"), 0);
        // Started from the first copy's folder, the refused copy leaves that copy's log whole.
        if (firstFolder == folder.path()) {
            EXPECT_GE(FindLogLine(lines, "ウインドウの作成に成功しました"), 0)
                << "the running copy's start-up lines are gone";
        }
        EXPECT_TRUE(first.End());
    }

    // With the first copy gone, the program starts.
    EXPECT_EQ(InitLibraryLocked(), 0);
    EXPECT_NE(GetMainWindowHandle(), nullptr);
    EXPECT_EQ(EndLibraryLocked(), 0);
    snprintf(g_Window.settings.className, sizeof(g_Window.settings.className), "%s", kept.c_str());
}

// Two copies started at the same instant in one folder: one starts, the other is refused and
// adds its lines to the running copy's log, which stays whole to its leak report.
TEST(Library, OfTwoCopiesStartedTogetherOneStarts) {
    ScratchFolder folder;
    // The copies share this program's display, named at its first start.
    ChangeWindowMode(1);
    ASSERT_EQ(InitLibraryLocked(), 0);
    EndLibraryLocked();
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::filesystem::remove("Log.txt");
        int go[2];
        ASSERT_EQ(pipe2(go, O_CLOEXEC), 0);
        Holder one(folder.path(), OwnClassName(), go[0]), two(folder.path(), OwnClassName(), go[0]);
        close(go[0]);
        close(go[1]);  // both copies start now
        const int started = one.Started() + two.Started();
        EXPECT_EQ(started, 1) << "copies started: " << started;
        std::vector<std::string> lines = ReadLogLines();
        EXPECT_GE(FindLogLine(lines, "ウインドウの作成に成功しました"), 0) << "the log was emptied";
        EXPECT_GE(FindLogLine(lines, "二重起動されています、ソフトを終了します"), 0);
        EXPECT_TRUE(one.End());
        EXPECT_TRUE(two.End());
        lines = ReadLogLines();
        EXPECT_NE(LastContentLine(lines).find("Total size:"), std::string::npos);
        if (HasFailure()) break;
    }
}

// Ctrl-C in the terminal (SIGINT), SIGTERM and the terminal's close (SIGHUP) end the program as
// the window's close box does: the message loop ends, and the log holds the closing steps and the
// leak report, in each start of the library. A second SIGINT or SIGTERM while the program closes,
// or before its loop has taken the first, ends it at once, as does one no window took or one after
// the library's end. A hang-up ignored at the start (nohup) leaves the program running.
TEST(Library, InterruptAndTerminateSignalsEndTheProgramAsTheCloseBoxDoes) {
    enum Sent {
        kOnce, kAgainAfterTheLoop, kTwiceBeforeTheLoop, kInTheSecondStart, kWindowDestroyedFirst,
        kIgnoredAtTheStart, kAfterTheEnd
    };
    const struct {
        int signalNumber;
        Sent sent;
    } cases[] = {{SIGINT, kOnce}, {SIGTERM, kOnce}, {SIGHUP, kOnce},
                 {SIGINT, kAgainAfterTheLoop}, {SIGTERM, kAgainAfterTheLoop},
                 {SIGINT, kTwiceBeforeTheLoop}, {SIGHUP, kInTheSecondStart},
                 {SIGTERM, kWindowDestroyedFirst}, {SIGHUP, kIgnoredAtTheStart},
                 {SIGINT, kAfterTheEnd}};
    for (auto [signalNumber, sent] : cases) {
        SCOPED_TRACE(std::to_string(signalNumber) + " sent as case " + std::to_string(sent));
        ScratchFolder folder;
        ChildResult child = RunInChild(
            [signalNumber, sent] {
                int loop = 0;
                // Ignored as under nohup, or taken as in a terminal (whatever ran the tests).
                signal(signalNumber, sent == kIgnoredAtTheStart ? SIG_IGN : SIG_DFL);
                for (int start = 0; start < (sent == kInTheSecondStart ? 2 : 1); ++start) {
                    ChangeWindowMode(1);
                    if (InitLibraryLocked() != 0) return 1;
                    if (sent == kAfterTheEnd) EndLibraryLocked();
                    kill(getpid(), signalNumber);
                    if (sent == kTwiceBeforeTheLoop) kill(getpid(), signalNumber);
                    if (sent == kWindowDestroyedFirst) V_DestroyWindow(GetMainWindowHandle());
                    loop = 0;
                    // Up to five seconds, for a loaded machine; the loop ends as soon as it sees it.
                    for (int i = 0; i < 1000 && loop == 0; ++i, SDL_Delay(5))
                        loop = ProcessMessageLocked();
                    if (sent == kAgainAfterTheLoop) {
                        kill(getpid(), signalNumber);
                        SDL_Delay(500);
                    }
                    EndLibraryLocked();
                }
                return loop;
            },
            30000);
        std::vector<std::string> lines = ReadLogLines();
        if (sent == kAfterTheEnd) {
            EXPECT_EQ(child.signal, signalNumber) << child.Describe();
            continue;
        }
        if (sent == kIgnoredAtTheStart) {
            EXPECT_TRUE(child.returned && child.value == 0) << "the loop ended: " << child.Describe();
            continue;
        }
        if (sent != kTwiceBeforeTheLoop && sent != kWindowDestroyedFirst) {
            EXPECT_GE(FindLogLine(lines, "ウインドウを閉じようとしています"), 0);
        }
        if (sent != kOnce && sent != kInTheSecondStart) {
            EXPECT_EQ(child.signal, signalNumber) << child.Describe();
            EXPECT_EQ(FindLogLine(lines, "Total size:"), -1) << "the library end ran";
            continue;
        }
        EXPECT_TRUE(child.returned && child.value == -1) << child.Describe();
        EXPECT_NE(LastContentLine(lines).find("Total size:"), std::string::npos);
    }
}

TEST(LibraryDeathTest, FatalExitRunsTheLibraryEndAndExitsWithMinusOne) {
    ScratchFolder folder;
    EXPECT_EXIT(
        {
            ChangeWindowMode(1);
            if (InitLibraryLocked() == 0) FatalExit("致命的なテスト");
        },
        testing::ExitedWithCode(255), "");
    std::vector<std::string> lines = ReadLogLines();
    int message = FindLogLine(lines, "致命的なテスト");
    ASSERT_GE(message, 0);
    EXPECT_GT(FindLogLine(lines, "ウインドウが破棄されようとしています", message), message);
    EXPECT_NE(LastContentLine(lines).find("Total size:"), std::string::npos);
}
