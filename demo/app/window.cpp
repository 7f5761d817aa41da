// Library loading, the window and the message pump. Every call of the seven
// window functions goes through the pointers bound from user32Module.
#include "app/window.hpp"

#include <cstdlib>
#include <cstring>

HMODULE d3d9Module;
HMODULE d3dx9Module;
HMODULE user32Module;
HWND mainWindow;

namespace {

using PostQuitMessageFunction = decltype(&PostQuitMessage);
using DefWindowProcFunction = decltype(&DefWindowProcA);
using RegisterClassExFunction = decltype(&RegisterClassExA);
using CreateWindowExFunction = decltype(&CreateWindowExA);
using PeekMessageFunction = decltype(&PeekMessageA);
using DispatchMessageFunction = decltype(&DispatchMessageA);
using TranslateMessageFunction = decltype(&TranslateMessage);

PostQuitMessageFunction postQuitMessage;
DefWindowProcFunction defWindowProc;
RegisterClassExFunction registerClassEx;
CreateWindowExFunction createWindowEx;
PeekMessageFunction peekMessage;
DispatchMessageFunction dispatchMessage;
TranslateMessageFunction translateMessage;

// Lives for the whole run: its hInstance is read again at shutdown.
WNDCLASSEXA classRecord;

// Binds the seven functions in their fixed order; false when one is missing.
bool bindWindowFunctions()
{
    postQuitMessage = bindProc<PostQuitMessageFunction>(user32Module, "PostQuitMessage");
    defWindowProc = bindProc<DefWindowProcFunction>(user32Module, "DefWindowProcA");
    registerClassEx = bindProc<RegisterClassExFunction>(user32Module, "RegisterClassExA");
    createWindowEx = bindProc<CreateWindowExFunction>(user32Module, "CreateWindowExA");
    peekMessage = bindProc<PeekMessageFunction>(user32Module, "PeekMessageA");
    dispatchMessage = bindProc<DispatchMessageFunction>(user32Module, "DispatchMessageA");
    translateMessage = bindProc<TranslateMessageFunction>(user32Module, "TranslateMessage");
    return postQuitMessage != nullptr && defWindowProc != nullptr && registerClassEx != nullptr &&
           createWindowEx != nullptr && peekMessage != nullptr && dispatchMessage != nullptr &&
           translateMessage != nullptr;
}

void registerWindowClass()
{
    classRecord.cbSize = sizeof(WNDCLASSEXA); // 48 in the 32-bit program
    classRecord.style = CS_CLASSDC;
    classRecord.lpfnWndProc = windowProc;
    classRecord.cbClsExtra = 0;
    classRecord.cbWndExtra = 0;
    classRecord.hInstance = GetModuleHandleA(NULL);
    classRecord.hIcon = NULL;
    classRecord.hCursor = NULL;
    classRecord.hbrBackground = NULL;
    classRecord.lpszMenuName = NULL;
    classRecord.lpszClassName = "demo";
    classRecord.hIconSm = NULL;
    registerClassEx(&classRecord);
}

} // namespace

void initWindow()
{
    d3d9Module = LoadLibraryA("d3d9.dll");
    if (d3d9Module == NULL) {
        exit(-1);
    }
    d3dx9Module = LoadLibraryA("d3dx9_24.dll");
    if (d3dx9Module == NULL) {
        FreeLibrary(d3d9Module);
        exit(-1);
    }
    user32Module = LoadLibraryA("user32.dll");
    // A window library without the window functions would be called through
    // null pointers; it counts as missing.
    if (user32Module == NULL || !bindWindowFunctions()) {
        if (user32Module != NULL) {
            FreeLibrary(user32Module);
        }
        FreeLibrary(d3dx9Module);
        FreeLibrary(d3d9Module);
        exit(-1);
    }
    registerWindowClass();
    // Not visible: the full-screen device shows the window it presents into.
    mainWindow = createWindowEx(WS_EX_OVERLAPPEDWINDOW, "demo", "demo", WS_OVERLAPPEDWINDOW, 180, 180, 1024, 768,
                                NULL, NULL, classRecord.hInstance, NULL);
}

LRESULT CALLBACK windowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    if (uMsg == WM_DESTROY) {
        postQuitMessage(0);
        return 0;
    }
    if (uMsg == WM_KEYDOWN && wParam == VK_ESCAPE) {
        postQuitMessage(0);
        return 0;
    }
    return defWindowProc(hWnd, uMsg, wParam, lParam);
}

std::uint32_t pumpMessage()
{
    MSG msg;
    std::memset(&msg, 0, sizeof msg);
    // No window filter, so that thread messages (WM_QUIT) are taken too.
    if (peekMessage(&msg, NULL, 0, 0, PM_REMOVE)) {
        translateMessage(&msg);
        dispatchMessage(&msg);
    }
    return msg.message;
}

void shutdownWindow()
{
    FreeLibrary(user32Module);
    FreeLibrary(d3dx9Module);
    FreeLibrary(d3d9Module);
    // The window still exists, so this may be refused; nothing depends on it.
    UnregisterClassA("demo", classRecord.hInstance);
}
