// The user32 stand-in held to the Windows behaviour the program relies on:
// class registration, the creation and destruction messages, the default
// handling of closing, the order in which messages are retrieved, and
// translation of key presses.
#include <gtest/gtest.h>

#include <vector>

#include "win32/module_table.hpp"
#include "win32/window_system.hpp"

namespace {

std::vector<UINT> received;

LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    received.push_back(message);
    return DefWindowProcA(window, message, wParam, lParam);
}

HINSTANCE instance()
{
    return GetModuleHandleA(nullptr);
}

WNDCLASSEXA makeClass(const char* name)
{
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(WNDCLASSEXA);
    windowClass.lpfnWndProc = recordingProc;
    windowClass.hInstance = instance();
    windowClass.lpszClassName = name;
    return windowClass;
}

class WindowSystem : public ::testing::Test {
protected:
    void SetUp() override
    {
        win32::resetWindowSystem();
        received.clear();
        const WNDCLASSEXA windowClass = makeClass("test");
        ASSERT_NE(RegisterClassExA(&windowClass), 0);
        window = CreateWindowExA(0, "test", "title", WS_OVERLAPPEDWINDOW, 10, 20, 300, 200, nullptr, nullptr,
                                 instance(), nullptr);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override { win32::resetWindowSystem(); }

    MSG take()
    {
        MSG msg = {};
        EXPECT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
        return msg;
    }

    HWND window = nullptr;
};

} // namespace

TEST_F(WindowSystem, registrationChecksTheRecordAndRefusesDuplicates)
{
    if (sizeof(void*) == 8) {
        WNDCLASSEXA wrongSize = makeClass("other");
        wrongSize.cbSize = 48; // the 32-bit size is wrong in a 64-bit program
        EXPECT_EQ(RegisterClassExA(&wrongSize), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    }
    const WNDCLASSEXA duplicate = makeClass("TEST");
    EXPECT_EQ(RegisterClassExA(&duplicate), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
    EXPECT_EQ(CreateWindowExA(0, "missing", "", 0, 0, 0, 1, 1, nullptr, nullptr, instance(), nullptr), nullptr);
}

TEST_F(WindowSystem, creationSendsItsMessagesAndLeavesTheWindowHidden)
{
    EXPECT_EQ(received, (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(FindWindowA("test", nullptr), window);
    RECT rect = {};
    ASSERT_TRUE(GetWindowRect(window, &rect));
    EXPECT_EQ(rect.right, 310);
    ASSERT_TRUE(SetWindowPos(window, nullptr, 0, 0, 1024, 768, SWP_SHOWWINDOW));
    EXPECT_TRUE(IsWindowVisible(window));
}

TEST_F(WindowSystem, theCloseButtonDestroysTheWindowThroughDefaultHandling)
{
    received.clear();
    win32::postInputMessage(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    const MSG msg = take();
    DispatchMessageA(&msg);
    EXPECT_EQ(received, (std::vector<UINT>{WM_SYSCOMMAND, WM_CLOSE, WM_DESTROY, WM_NCDESTROY}));
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(win32::liveWindowCount(), 0);
    EXPECT_FALSE(DestroyWindow(window));
}

TEST_F(WindowSystem, aClassWithWindowsCannotBeUnregistered)
{
    EXPECT_FALSE(UnregisterClassA("test", instance()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
    DestroyWindow(window);
    EXPECT_TRUE(UnregisterClassA("test", instance()));
    EXPECT_FALSE(UnregisterClassA("test", instance()));
}

TEST_F(WindowSystem, postedMessagesComeFirstThenTheQuitThenInput)
{
    win32::postInputMessage(window, WM_KEYDOWN, 'A', win32::keyMessageParameter('A', false));
    PostQuitMessage(3);
    PostMessageA(window, WM_USER + 1, 1, 0);
    PostMessageA(nullptr, WM_USER + 1, 2, 0); // a thread message
    MSG msg = {};
    // A window filter sees only that window's messages, not thread messages.
    EXPECT_TRUE(PeekMessageA(&msg, window, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.wParam, 1u);
    EXPECT_EQ(take().wParam, 1u);
    EXPECT_EQ(take().wParam, 2u);
    const MSG quit = take();
    EXPECT_EQ(quit.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(quit.wParam, 3u);
    EXPECT_EQ(quit.hwnd, nullptr);
    EXPECT_EQ(take().message, static_cast<UINT>(WM_KEYDOWN));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)); // the quit was taken once
}

TEST_F(WindowSystem, translationPostsCharactersForKeyPressesOnly)
{
    MSG escape = {};
    escape.hwnd = window;
    escape.message = WM_KEYDOWN;
    escape.wParam = VK_ESCAPE;
    EXPECT_TRUE(TranslateMessage(&escape));
    const MSG character = take();
    EXPECT_EQ(character.message, static_cast<UINT>(WM_CHAR));
    EXPECT_EQ(character.wParam, static_cast<WPARAM>(0x1B));

    MSG release = escape;
    release.message = WM_KEYUP;
    EXPECT_TRUE(TranslateMessage(&release)); // nonzero for key messages, even without a character
    MSG arrow = escape;
    arrow.wParam = VK_LEFT;
    EXPECT_TRUE(TranslateMessage(&arrow));
    MSG other = escape;
    other.message = WM_CLOSE;
    EXPECT_FALSE(TranslateMessage(&other));
    MSG msg = {};
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(WindowSystem, destroyingAWindowDropsItsQueuedMessages)
{
    PostMessageA(window, WM_USER + 1, 1, 0);
    win32::postInputMessage(window, WM_KEYDOWN, VK_SPACE, 0);
    DestroyWindow(window);
    MSG msg = {};
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_FALSE(PostMessageA(window, WM_USER + 1, 1, 0));
}

TEST_F(WindowSystem, theCursorStaysHiddenUntilOneIsSet)
{
    EXPECT_FALSE(win32::cursorHidden());
    const HCURSOR previous = SetCursor(nullptr);
    EXPECT_NE(previous, nullptr);
    EXPECT_TRUE(win32::cursorHidden());
    EXPECT_EQ(SetCursor(previous), nullptr);
    EXPECT_FALSE(win32::cursorHidden());
}
