// Window classes and windows of the user32 stand-in.
#include "win32/window_system.hpp"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "win32/api_trace.hpp"
#include "win32/call_line.hpp"
#include "win32/window_state.hpp"

namespace win32 {
namespace {

bool sameClassName(const std::string& a, const char* b)
{
    if (b == nullptr || a.size() != std::strlen(b)) {
        return false;
    }
    return std::equal(a.begin(), a.end(), b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

WindowClass* findClass(const char* name, HINSTANCE instance)
{
    for (WindowClass& windowClass : windowState().classes) {
        if (sameClassName(windowClass.name, name) && windowClass.instance == instance) {
            return &windowClass;
        }
    }
    return nullptr;
}

std::string windowName(HWND window)
{
    return window == nullptr ? std::string("NULL") : "hwnd" + std::to_string(reinterpret_cast<std::uintptr_t>(window) & 0xFFFF);
}

} // namespace

Window* findWindow(HWND handle)
{
    for (Window& window : windowState().windows) {
        if (window.handle == handle) {
            return &window;
        }
    }
    return nullptr;
}

std::string describeWindow(HWND window)
{
    return windowName(window);
}

LRESULT callWindowProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam)
{
    const Window* window = findWindow(handle);
    if (window == nullptr) {
        return 0;
    }
    // Copy the procedure out: the call may destroy the window.
    const WNDPROC procedure = window->procedure;
    return procedure(handle, message, wParam, lParam);
}

void removeWindow(HWND handle)
{
    auto& windows = windowState().windows;
    windows.erase(std::remove_if(windows.begin(), windows.end(), [&](const Window& w) { return w.handle == handle; }),
                  windows.end());
    dropMessagesFor(handle);
}

std::int32_t liveWindowCount()
{
    return static_cast<std::int32_t>(windowState().windows.size());
}

bool cursorHidden()
{
    return windowState().cursor == nullptr;
}

void resetWindowSystem()
{
    windowState() = WindowState{};
}

std::vector<ModuleExport> user32Exports()
{
    return {
        {"PostQuitMessage", exportEntry(&PostQuitMessage)},
        {"DefWindowProcA", exportEntry(&DefWindowProcA)},
        {"RegisterClassExA", exportEntry(&RegisterClassExA)},
        {"CreateWindowExA", exportEntry(&CreateWindowExA)},
        {"PeekMessageA", exportEntry(&PeekMessageA)},
        {"DispatchMessageA", exportEntry(&DispatchMessageA)},
        {"TranslateMessage", exportEntry(&TranslateMessage)},
        {"UnregisterClassA", exportEntry(&UnregisterClassA)},
        {"DestroyWindow", exportEntry(&DestroyWindow)},
        {"SendMessageA", exportEntry(&SendMessageA)},
        {"PostMessageA", exportEntry(&PostMessageA)},
        {"FindWindowA", exportEntry(&FindWindowA)},
        {"SetCursor", exportEntry(&SetCursor)},
    };
}

HostHooks& mutableHostHooks()
{
    static HostHooks hooks;
    return hooks;
}

void setHostHooks(HostHooks hooks)
{
    mutableHostHooks() = std::move(hooks);
}

const HostHooks& hostHooks()
{
    return mutableHostHooks();
}

namespace {

// Tells the host when a window's visibility changes.
void setVisible(Window& window, bool visible)
{
    const bool changed = window.visible != visible;
    window.visible = visible;
    if (changed && hostHooks().onVisibility) {
        hostHooks().onVisibility(window.handle, visible, window.rect);
    }
}

} // namespace

} // namespace win32

using namespace win32;

namespace {

auto windowText(HWND window)
{
    return line::lazy([window] { return describeWindow(window); });
}

} // namespace

extern "C" ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* lpwcx)
{
    if (lpwcx == nullptr || lpwcx->cbSize != sizeof(WNDCLASSEXA) || lpwcx->lpszClassName == nullptr ||
        lpwcx->lpfnWndProc == nullptr) {
        ApiCall call("RegisterClassExA", "invalid");
        return call.refuse(ATOM{0}, "0", ERROR_INVALID_PARAMETER, "no class name, procedure or size");
    }
    ApiCall call("RegisterClassExA", line::quotedText(lpwcx->lpszClassName), line::Hex{lpwcx->style});
    if (findClass(lpwcx->lpszClassName, lpwcx->hInstance) != nullptr) {
        return call.refuse(ATOM{0}, "0", ERROR_CLASS_ALREADY_EXISTS, "the class exists");
    }
    WindowState& state = windowState();
    WindowClass windowClass;
    windowClass.name = lpwcx->lpszClassName;
    windowClass.instance = lpwcx->hInstance;
    windowClass.procedure = lpwcx->lpfnWndProc;
    windowClass.style = lpwcx->style;
    windowClass.atom = state.nextAtom++;
    state.classes.push_back(windowClass);
    return call.returns(windowClass.atom);
}

extern "C" BOOL WINAPI UnregisterClassA(LPCSTR lpClassName, HINSTANCE hInstance)
{
    ApiCall call("UnregisterClassA", line::quotedText(lpClassName));
    WindowState& state = windowState();
    const WindowClass* windowClass = findClass(lpClassName, hInstance);
    if (windowClass == nullptr) {
        return call.refuse(FALSE, "0", ERROR_CLASS_DOES_NOT_EXIST, "no such class");
    }
    const ATOM atom = windowClass->atom;
    const bool inUse = std::any_of(state.windows.begin(), state.windows.end(),
                                   [&](const Window& w) { return w.classAtom == atom; });
    if (inUse) {
        return call.refuse(FALSE, "0", ERROR_CLASS_HAS_WINDOWS, "windows of the class live");
    }
    state.classes.erase(std::remove_if(state.classes.begin(), state.classes.end(),
                                       [&](const WindowClass& c) { return c.atom == atom; }),
                        state.classes.end());
    return call.returns(TRUE);
}

extern "C" HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName, DWORD dwStyle, int X,
                                       int Y, int nWidth, int nHeight, HWND hWndParent, HMENU, HINSTANCE hInstance,
                                       LPVOID)
{
    ApiCall call("CreateWindowExA", line::Hex{dwExStyle}, line::quotedText(lpClassName), line::quotedText(lpWindowName),
                 line::Hex{dwStyle}, X, Y, nWidth, nHeight);
    const WindowClass* windowClass = findClass(lpClassName, hInstance);
    if (windowClass == nullptr) {
        return call.refuse<HWND>(nullptr, "NULL", ERROR_CANNOT_FIND_WND_CLASS, "no such class");
    }
    if (hWndParent != nullptr && findWindow(hWndParent) == nullptr) {
        return call.refuse<HWND>(nullptr, "NULL", ERROR_INVALID_WINDOW_HANDLE, "no such parent window");
    }
    WindowState& state = windowState();
    Window window;
    window.handle = reinterpret_cast<HWND>(state.nextWindow);
    state.nextWindow += 2; // window handles are even, as on Windows
    window.classAtom = windowClass->atom;
    window.procedure = windowClass->procedure;
    window.title = lpWindowName == nullptr ? "" : lpWindowName;
    window.style = dwStyle;
    window.exStyle = dwExStyle;
    window.rect = RECT{X, Y, X + nWidth, Y + nHeight};
    window.visible = (dwStyle & WS_VISIBLE) != 0;
    state.windows.push_back(window);
    const HWND handle = window.handle;
    // A window whose WM_NCCREATE answers FALSE or WM_CREATE answers -1 is not made.
    if (callWindowProc(handle, WM_NCCREATE, 0, 0) == FALSE || callWindowProc(handle, WM_CREATE, 0, 0) == -1) {
        DestroyWindow(handle);
        return call.refuse<HWND>(nullptr, "NULL", 0, "its procedure refused to create it");
    }
    if (Window* made = findWindow(handle); made != nullptr && made->visible && hostHooks().onVisibility) {
        hostHooks().onVisibility(handle, true, made->rect);
    }
    return call.returns(handle, call.traced() ? describeWindow(handle) : std::string());
}

extern "C" BOOL WINAPI DestroyWindow(HWND hWnd)
{
    ApiCall call("DestroyWindow", windowText(hWnd));
    Window* window = findWindow(hWnd);
    if (window == nullptr || window->destroying) {
        return call.refuse(FALSE, "0", ERROR_INVALID_WINDOW_HANDLE,
                           window == nullptr ? "no such window" : "already being destroyed");
    }
    window->destroying = true;
    setVisible(*window, false);
    callWindowProc(hWnd, WM_DESTROY, 0, 0);
    callWindowProc(hWnd, WM_NCDESTROY, 0, 0);
    removeWindow(hWnd);
    return call.returns(TRUE);
}

extern "C" BOOL WINAPI IsWindow(HWND hWnd)
{
    return findWindow(hWnd) != nullptr ? TRUE : FALSE;
}

extern "C" BOOL WINAPI IsWindowVisible(HWND hWnd)
{
    const Window* window = findWindow(hWnd);
    return window != nullptr && window->visible ? TRUE : FALSE;
}

extern "C" BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow)
{
    ApiCall call("ShowWindow", windowText(hWnd), nCmdShow);
    Window* window = findWindow(hWnd);
    if (window == nullptr) {
        return call.refuse(FALSE, "0", ERROR_INVALID_WINDOW_HANDLE, "no such window");
    }
    const BOOL wasVisible = window->visible ? TRUE : FALSE;
    setVisible(*window, nCmdShow != 0); // SW_HIDE is 0
    return call.returns(wasVisible);
}

extern "C" BOOL WINAPI SetWindowPos(HWND hWnd, HWND, int X, int Y, int cx, int cy, UINT uFlags)
{
    ApiCall call("SetWindowPos", windowText(hWnd), X, Y, cx, cy, line::Hex{uFlags});
    Window* window = findWindow(hWnd);
    if (window == nullptr) {
        return call.refuse(FALSE, "0", ERROR_INVALID_WINDOW_HANDLE, "no such window");
    }
    RECT& rect = window->rect;
    if ((uFlags & SWP_NOMOVE) == 0) {
        const LONG width = rect.right - rect.left;
        const LONG height = rect.bottom - rect.top;
        rect = RECT{X, Y, X + width, Y + height};
    }
    if ((uFlags & SWP_NOSIZE) == 0) {
        rect.right = rect.left + cx;
        rect.bottom = rect.top + cy;
    }
    if ((uFlags & SWP_SHOWWINDOW) != 0) {
        setVisible(*window, true);
    }
    return call.returns(TRUE);
}

extern "C" BOOL WINAPI GetWindowRect(HWND hWnd, RECT* lpRect)
{
    const Window* window = findWindow(hWnd);
    if (window == nullptr || lpRect == nullptr) {
        return FALSE;
    }
    *lpRect = window->rect;
    return TRUE;
}

extern "C" HWND WINAPI FindWindowA(LPCSTR lpClassName, LPCSTR lpWindowName)
{
    WindowState& state = windowState();
    for (const Window& window : state.windows) {
        const auto windowClass = std::find_if(state.classes.begin(), state.classes.end(),
                                              [&](const WindowClass& c) { return c.atom == window.classAtom; });
        const bool classMatches = lpClassName == nullptr ||
                                  (windowClass != state.classes.end() && sameClassName(windowClass->name, lpClassName));
        const bool titleMatches = lpWindowName == nullptr || window.title == lpWindowName;
        if (classMatches && titleMatches) {
            return window.handle;
        }
    }
    return nullptr;
}

extern "C" LRESULT WINAPI DefWindowProcA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM)
{
    switch (Msg) {
    case WM_NCCREATE:
        return TRUE;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            SendMessageA(hWnd, WM_CLOSE, 0, 0);
        }
        return 0;
    case WM_CLOSE:
        DestroyWindow(hWnd);
        return 0;
    default:
        return 0;
    }
}

extern "C" LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    ApiCall call("SendMessageA", windowText(hWnd), line::Hex{Msg});
    if (findWindow(hWnd) == nullptr) {
        return call.refuse(LRESULT{0}, "0", ERROR_INVALID_WINDOW_HANDLE, "no such window");
    }
    return call.returns(callWindowProc(hWnd, Msg, wParam, lParam));
}

extern "C" HCURSOR WINAPI SetCursor(HCURSOR hCursor)
{
    ApiCall call("SetCursor", hCursor == nullptr ? "NULL" : "cursor");
    WindowState& state = windowState();
    const HCURSOR previous = state.cursor;
    state.cursor = hCursor;
    if (hostHooks().onCursor) {
        hostHooks().onCursor(hCursor == nullptr);
    }
    return call.returns(previous, previous == nullptr ? "NULL" : "cursor");
}
