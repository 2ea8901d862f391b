// The window stand-in's message queue: window filters, the order of posted messages, the quit
// request and painting, and the platform's default handling of closing; the look for a window of
// another process.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/user/user.h"
#include "support/child_call.h"

namespace {

std::vector<V_UINT> g_Received;

V_LRESULT RecordingProcedure(V_HWND window, V_UINT message, V_WPARAM wParam, V_LPARAM lParam) {
    g_Received.push_back(message);
    if (message == V_WM_PAINT) {
        V_PAINTSTRUCT paint;
        V_BeginPaint(window, &paint);
        V_EndPaint(window, &paint);
        return 0;
    }
    return V_DefWindowProcA(window, message, wParam, lParam);
}

class MessageQueue : public testing::Test {
protected:
    void SetUp() override {
        V_WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = RecordingProcedure;
        windowClass.lpszClassName = "MessageQueueTest";
        ASSERT_NE(V_RegisterClassExA(&windowClass), 0);
        window_ = V_CreateWindowExA(0, "MessageQueueTest", "queue", 0, 10, 20, 160, 120, nullptr,
                                    nullptr, nullptr, nullptr);
        ASSERT_NE(window_, nullptr);
        V_MSG message;
        while (V_PeekMessageA(&message, nullptr, 0, 0, V_PM_REMOVE)) V_DispatchMessageA(&message);
        g_Received.clear();
    }
    void TearDown() override {
        if (V_IsWindow(window_)) V_DestroyWindow(window_);
        V_MSG message;
        while (V_PeekMessageA(&message, nullptr, 0, 0, V_PM_REMOVE)) {
        }
        EXPECT_TRUE(V_UnregisterClassA("MessageQueueTest", nullptr));
    }
    V_HWND window_ = nullptr;
};

}  // namespace

TEST_F(MessageQueue, FiltersOrderQuitAndPainting) {
    V_PostMessageA(window_, V_WM_USER + 1, 0, 0);
    V_PostMessageA(nullptr, V_WM_USER + 2, 0, 0);  // a thread message
    V_PostMessageA(window_, V_WM_USER + 3, 0, 0);
    V_PostQuitMessage(7);

    V_MSG message;
    // Looking leaves the message in place.
    ASSERT_TRUE(V_PeekMessageA(&message, nullptr, 0, 0, V_PM_NOREMOVE));
    EXPECT_EQ(message.message, V_WM_USER + 1);
    ASSERT_TRUE(V_PeekMessageA(&message, V_HWND_THREAD_MESSAGES, 0, 0, V_PM_REMOVE));
    EXPECT_EQ(message.message, V_WM_USER + 2);
    EXPECT_EQ(message.hwnd, nullptr);
    ASSERT_TRUE(V_PeekMessageA(&message, window_, V_WM_USER + 3, V_WM_USER + 3, V_PM_REMOVE));
    EXPECT_EQ(message.message, V_WM_USER + 3);
    ASSERT_TRUE(V_PeekMessageA(&message, nullptr, 0, 0, V_PM_REMOVE));
    EXPECT_EQ(message.message, V_WM_USER + 1);

    // The quit request comes after the posted messages, and only once; a window filter skips it.
    EXPECT_FALSE(V_PeekMessageA(&message, window_, 0, 0, V_PM_REMOVE));
    ASSERT_TRUE(V_PeekMessageA(&message, nullptr, 0, 0, V_PM_REMOVE));
    EXPECT_EQ(message.message, V_WM_QUIT);
    EXPECT_EQ(message.wParam, 7u);
    EXPECT_FALSE(V_PeekMessageA(&message, nullptr, 0, 0, V_PM_REMOVE));

    // A shown window is painted once, after everything else; a real size change is sent at once.
    V_ShowWindow(window_, V_SW_SHOW);
    V_PostMessageA(window_, V_WM_USER + 4, 0, 0);
    g_Received.clear();
    while (V_PeekMessageA(&message, nullptr, 0, 0, V_PM_REMOVE)) V_DispatchMessageA(&message);
    ASSERT_EQ(g_Received.size(), 2u);
    EXPECT_EQ(g_Received[0], V_WM_USER + 4);
    EXPECT_EQ(g_Received[1], V_WM_PAINT);
    g_Received.clear();
    V_MoveWindow(window_, 10, 20, 160, 120, V_TRUE);
    EXPECT_TRUE(g_Received.empty()) << "nothing changed, nothing is sent";
    V_MoveWindow(window_, 30, 20, 200, 120, V_TRUE);
    ASSERT_EQ(g_Received.size(), 2u);
    EXPECT_EQ(g_Received[0], V_WM_MOVE);
    EXPECT_EQ(g_Received[1], V_WM_SIZE);
}

TEST_F(MessageQueue, CloseDestroysTheWindowAndDropsItsMessages) {
    V_PostMessageA(window_, V_WM_USER + 1, 0, 0);
    V_PostMessageA(window_, V_WM_CLOSE, 0, 0);
    V_PostMessageA(window_, V_WM_USER + 2, 0, 0);
    V_MSG message;
    while (V_PeekMessageA(&message, nullptr, 0, 0, V_PM_REMOVE)) V_DispatchMessageA(&message);
    ASSERT_EQ(g_Received.size(), 3u);
    EXPECT_EQ(g_Received[0], V_WM_USER + 1);
    EXPECT_EQ(g_Received[1], V_WM_CLOSE);
    EXPECT_EQ(g_Received[2], V_WM_DESTROY);
    EXPECT_FALSE(V_IsWindow(window_));
    EXPECT_FALSE(V_PostMessageA(window_, V_WM_USER, 0, 0));
    EXPECT_EQ(V_FindWindowA("MessageQueueTest", nullptr), nullptr);
}

// A look that finds no window of a class claims the class in the same step: from then on a look
// from another process finds a window, until the claim is given up.
TEST(WindowLook, ClaimsTheClassItFindsNoWindowOf) {
    const std::string name = "WindowLookTest" + std::to_string(getpid());
    auto lookElsewhere = [&name] {
        return RunInChild([&name] { return V_FindWindowA(name.c_str(), nullptr) != nullptr; });
    };
    // A child process that looks and writes what it found (1 or 0) to `out`; 0 in the child.
    auto forkLook = [&name](int out) {
        pid_t pid = fork();
        if (pid == 0) {
            char found = V_FindWindowA(name.c_str(), nullptr) != nullptr;
            write(out, &found, 1);
        }
        return pid;
    };
    int toParent[2], toChild[2];
    ASSERT_EQ(pipe(toParent), 0);
    ASSERT_EQ(pipe(toChild), 0);
    pid_t looker = forkLook(toParent[1]);
    ASSERT_GE(looker, 0);
    if (looker == 0) {
        char found = 0;
        read(toChild[0], &found, 1);
        V_EndWindowClassLook(name.c_str());
        read(toChild[0], &found, 1);
        V_ReleaseWindowClassClaim(name.c_str());
        write(toParent[1], &found, 1);
        read(toChild[0], &found, 1);
        _exit(0);
    }
    char byte = 1;
    ASSERT_EQ(read(toParent[0], &byte, 1), 1);
    EXPECT_EQ(byte, 0);
    // Until the claiming look is ended (its program has started its log), a look elsewhere waits.
    int answer[2];
    ASSERT_EQ(pipe(answer), 0);
    pid_t waiting = forkLook(answer[1]);
    ASSERT_GE(waiting, 0);
    if (waiting == 0) _exit(0);
    pollfd early{answer[0], POLLIN, 0};
    EXPECT_EQ(poll(&early, 1, 300), 0) << "the look did not wait for the open one";
    write(toChild[1], &byte, 1);
    ASSERT_EQ(read(answer[0], &byte, 1), 1);
    EXPECT_EQ(byte, 1);
    waitpid(waiting, nullptr, 0);
    ChildResult claimed = lookElsewhere();
    EXPECT_TRUE(claimed.returned && claimed.value == 1) << claimed.Describe();
    write(toChild[1], &byte, 1);
    ASSERT_EQ(read(toParent[0], &byte, 1), 1);
    ChildResult released = lookElsewhere();
    EXPECT_TRUE(released.returned && released.value == 0) << released.Describe();
    write(toChild[1], &byte, 1);
    waitpid(looker, nullptr, 0);
}
