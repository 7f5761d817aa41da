// The thread's message queue of the user32 stand-in: posting, the quit
// request, retrieval with PeekMessageA, translation and dispatch.
#include <algorithm>

#include "win32/api_trace.hpp"
#include "win32/call_line.hpp"
#include "win32/clock.hpp"
#include "win32/window_state.hpp"
#include "win32/window_system.hpp"

namespace win32 {

WindowState& windowState()
{
    static WindowState state;
    return state;
}

namespace {

MSG makeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG msg{};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = currentMilliseconds();
    return msg;
}

// Whether msg passes PeekMessageA's window and range filters. A NULL window
// filter takes thread messages too; the range 0, 0 takes every message.
bool passesFilter(const MSG& msg, HWND window, UINT first, UINT last)
{
    if (window != nullptr && msg.hwnd != window) {
        return false;
    }
    return (first == 0 && last == 0) || (msg.message >= first && msg.message <= last);
}

bool takeFrom(std::deque<MSG>& queue, MSG& out, HWND window, UINT first, UINT last, bool remove)
{
    const auto found = std::find_if(queue.begin(), queue.end(),
                                    [&](const MSG& msg) { return passesFilter(msg, window, first, last); });
    if (found == queue.end()) {
        return false;
    }
    out = *found;
    if (remove) {
        queue.erase(found);
    }
    return true;
}

bool takeQuit(MSG& out, UINT first, UINT last, bool remove)
{
    WindowState& state = windowState();
    if (!state.quitRequested) {
        return false;
    }
    out = makeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(state.quitCode), 0);
    if (!passesFilter(out, nullptr, first, last)) {
        return false;
    }
    if (remove) {
        state.quitRequested = false;
    }
    return true;
}

// The character a key produces without modifiers, or 0 for none.
WPARAM characterOfKey(WPARAM key)
{
    if (key >= 'A' && key <= 'Z') {
        return key - 'A' + 'a';
    }
    if ((key >= '0' && key <= '9') || key == VK_SPACE || key == VK_ESCAPE || key == VK_RETURN || key == VK_BACK ||
        key == VK_TAB) {
        return key;
    }
    return 0;
}

} // namespace

void dropMessagesFor(HWND handle)
{
    for (std::deque<MSG>* queue : {&windowState().posted, &windowState().input}) {
        queue->erase(std::remove_if(queue->begin(), queue->end(), [&](const MSG& m) { return m.hwnd == handle; }),
                     queue->end());
    }
}

void postInputMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (tracing()) {
        trace("input(" + describeWindow(window) + ", " + hex(message) + ", " + hex(wParam) + ")");
    }
    windowState().input.push_back(makeMessage(window, message, wParam, lParam));
}

LPARAM keyMessageParameter(UINT virtualKey, bool release)
{
    // Set-1 scan codes of the keys a host sends; others get none.
    UINT scanCode = 0;
    switch (virtualKey) {
    case VK_ESCAPE: scanCode = 0x01; break;
    case VK_RETURN: scanCode = 0x1C; break;
    case VK_SPACE: scanCode = 0x39; break;
    default: break;
    }
    std::uint32_t bits = 1u | (scanCode << 16);
    if (release) {
        bits |= 0xC0000000u; // previous state down, transition up
    }
    return static_cast<LPARAM>(static_cast<std::int32_t>(bits));
}

} // namespace win32

using namespace win32;

namespace {

auto windowText(HWND window)
{
    return line::lazy([window] { return describeWindow(window); });
}

} // namespace

extern "C" BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    ApiCall call("PostMessageA", windowText(hWnd), line::Hex{Msg}, line::Hex{static_cast<unsigned long>(wParam)});
    if (hWnd != nullptr && findWindow(hWnd) == nullptr) {
        return call.refuse(FALSE, "0", ERROR_INVALID_WINDOW_HANDLE, "no such window");
    }
    windowState().posted.push_back(makeMessage(hWnd, Msg, wParam, lParam));
    return call.returns(TRUE);
}

extern "C" void WINAPI PostQuitMessage(int nExitCode)
{
    ApiCall call("PostQuitMessage", nExitCode);
    windowState().quitRequested = true;
    windowState().quitCode = nExitCode;
    call.done();
}

extern "C" BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg)
{
    if (hostHooks().pumpInput) {
        hostHooks().pumpInput();
    }
    WindowState& state = windowState();
    const bool remove = (wRemoveMsg & PM_REMOVE) != 0;
    MSG msg{};
    const bool found = takeFrom(state.posted, msg, hWnd, wMsgFilterMin, wMsgFilterMax, remove) ||
                       takeQuit(msg, wMsgFilterMin, wMsgFilterMax, remove) ||
                       takeFrom(state.input, msg, hWnd, wMsgFilterMin, wMsgFilterMax, remove);
    // The message taken stands for TRUE on the line.
    ApiCall call("PeekMessageA", windowText(hWnd), wMsgFilterMin, wMsgFilterMax, wRemoveMsg);
    if (!found) {
        return call.returns(FALSE);
    }
    if (lpMsg != nullptr) {
        *lpMsg = msg;
    }
    return call.returns(TRUE, call.traced() ? hex(msg.message) : std::string());
}

extern "C" BOOL WINAPI TranslateMessage(const MSG* lpMsg)
{
    if (lpMsg == nullptr) {
        ApiCall call("TranslateMessage", "NULL");
        return call.refuse(FALSE, "0", 0, "no message");
    }
    ApiCall call("TranslateMessage", line::Hex{lpMsg->message});
    const UINT message = lpMsg->message;
    if (message != WM_KEYDOWN && message != WM_KEYUP && message != WM_SYSKEYDOWN && message != WM_SYSKEYUP) {
        return call.returns(FALSE);
    }
    if (message == WM_KEYDOWN) {
        const WPARAM character = characterOfKey(lpMsg->wParam);
        if (character != 0) {
            windowState().posted.push_back(makeMessage(lpMsg->hwnd, WM_CHAR, character, lpMsg->lParam));
        }
    }
    return call.returns(TRUE); // for key messages, whether or not a character came of it
}

extern "C" LRESULT WINAPI DispatchMessageA(const MSG* lpMsg)
{
    if (lpMsg == nullptr) {
        ApiCall call("DispatchMessageA", "NULL");
        return call.refuse(LRESULT{0}, "0", 0, "no message");
    }
    ApiCall call("DispatchMessageA", windowText(lpMsg->hwnd), line::Hex{lpMsg->message},
                 line::Hex{static_cast<unsigned long>(lpMsg->wParam)});
    // Thread messages (no window) have nobody to go to.
    return call.returns(lpMsg->hwnd == nullptr ? LRESULT{0}
                                               : callWindowProc(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam));
}
