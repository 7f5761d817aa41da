// The state shared by the window and message-queue halves of the user32
// stand-in. Internal to platform/win32.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "windows.h"

namespace win32 {

struct WindowClass {
    std::string name;              // class name, matched without regard to case
    HINSTANCE instance = nullptr;  // the registering module
    WNDPROC procedure = nullptr;   // lpfnWndProc
    UINT style = 0;                // CS_ flags
    ATOM atom = 0;                 // nonzero once registered
};

struct Window {
    HWND handle = nullptr;         // never reused within a process
    ATOM classAtom = 0;            // its class
    WNDPROC procedure = nullptr;   // the class's procedure
    std::string title;
    DWORD style = 0;
    DWORD exStyle = 0;
    RECT rect = {0, 0, 0, 0};      // screen pixels
    bool visible = false;
    bool destroying = false;       // inside DestroyWindow
};

struct WindowState {
    std::vector<WindowClass> classes;
    std::vector<Window> windows;
    std::deque<MSG> posted;  // PostMessageA, TranslateMessage's WM_CHAR
    std::deque<MSG> input;   // from the host: keys, the close button
    bool quitRequested = false;
    int quitCode = 0;
    // Some cursor is shown until SetCursor(NULL).
    HCURSOR cursor = reinterpret_cast<HCURSOR>(static_cast<std::uintptr_t>(0x10003));
    ATOM nextAtom = 0xC000;
    std::uintptr_t nextWindow = 0x10010;
};

WindowState& windowState();
Window* findWindow(HWND handle);
// Calls the window's procedure (nothing for a window that does not exist).
LRESULT callWindowProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);
// Forgets a destroyed window and drops the messages queued for it.
void removeWindow(HWND handle);
void dropMessagesFor(HWND handle);

} // namespace win32
