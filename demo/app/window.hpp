// The platform footing: the three run-time libraries, the window functions
// bound from "user32.dll", the window class "demo", the one window, its
// window procedure and the per-frame message pump.
#pragma once

#include <cstdint>

#include "windows.h"

extern HMODULE d3d9Module;   // "d3d9.dll"
extern HMODULE d3dx9Module;  // "d3dx9_24.dll"
extern HMODULE user32Module; // "user32.dll"
extern HWND mainWindow;      // the device's focus and presentation window

// Loads the libraries, binds the window functions, registers the class and
// creates the window. Ends the process with exit code -1 when a library is
// missing, after freeing the ones already loaded.
void initWindow();
// Escape (key down) and the window's destruction request the quit; every
// other message goes to DefWindowProcA.
LRESULT CALLBACK windowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
// Takes, translates and dispatches at most one message; its number, or 0
// when the queue was empty.
std::uint32_t pumpMessage();
// Frees the three libraries and unregisters the class.
void shutdownWindow();

// Binds an entry point by name; NULL when the module does not export it.
template <typename Function>
Function bindProc(HMODULE module, const char* name)
{
    // Through the generic function pointer type, which converts to any other.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}
