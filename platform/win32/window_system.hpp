// The user32 stand-in: window classes, windows and the thread's message
// queue, with the Windows behaviour the program relies on.
//
// Implemented: RegisterClassExA (cbSize must be sizeof(WNDCLASSEXA)),
// UnregisterClassA (refused while windows of the class exist),
// CreateWindowExA (sends WM_NCCREATE and WM_CREATE), DestroyWindow (sends
// WM_DESTROY and WM_NCDESTROY), DefWindowProcA (WM_SYSCOMMAND SC_CLOSE sends
// WM_CLOSE, WM_CLOSE destroys the window, WM_NCCREATE answers TRUE),
// SendMessageA, PostMessageA, PostQuitMessage, PeekMessageA, TranslateMessage
// (WM_CHAR for character keys), DispatchMessageA, FindWindowA, SetWindowPos,
// ShowWindow, SetCursor. One thread, so every window procedure runs inside
// the call that delivers its message.
//
// Retrieval order, as on Windows: posted messages first, then the quit
// request of PostQuitMessage (a flag, not a queued message), then input
// messages from the host. Deliberately left out: timers, painting, focus and
// activation messages, child windows, window longs, GDI.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "win32/module_table.hpp"
#include "windows.h"

namespace win32 {

// The exports of "user32.dll" for installModule.
std::vector<ModuleExport> user32Exports();

// Host side: input as the window system would deliver it (key presses,
// the close button as WM_SYSCOMMAND SC_CLOSE), queued behind posted messages.
void postInputMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The lParam of a key message: repeat count 1, the key's scan code, and the
// previous-state and transition bits of a key release.
LPARAM keyMessageParameter(UINT virtualKey, bool release);

// What a host with a real window system hears of the program's windows.
// Every hook may be empty.
struct HostHooks {
    // At every PeekMessageA, before the queue is read: the host turns what
    // its own window system delivered into postInputMessage calls.
    std::function<void()> pumpInput;
    // A window became visible (ShowWindow, SetWindowPos with SWP_SHOWWINDOW)
    // or hidden, with its screen rectangle.
    std::function<void(HWND window, bool visible, const RECT& rect)> onVisibility;
    // SetCursor: whether no cursor is shown now.
    std::function<void(bool hidden)> onCursor;
};
// Replaces the hooks (resetWindowSystem leaves them alone).
void setHostHooks(HostHooks hooks);
const HostHooks& hostHooks();

// A window's name in trace lines (hwnd16).
std::string describeWindow(HWND window);
// Whether SetCursor last set no cursor.
bool cursorHidden();
// Windows that exist now.
std::int32_t liveWindowCount();
// Destroys every window and class and empties the queue (for a host that
// runs the program more than once in a process).
void resetWindowSystem();

} // namespace win32
