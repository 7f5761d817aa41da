#include "support/test_host.hpp"

#include "d3d9/runtime.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "d3dx9.h"
#include "math/random.hpp"
#include "common/allocation.hpp"
#include "math/matrix.hpp"
#include "render/frame_rendering.hpp"
#include "render/renderer.hpp"
#include "win32/api_trace.hpp"
#include "win32/clock.hpp"
#include "win32/module_table.hpp"
#include "win32/window_system.hpp"

namespace testhost {
namespace {

// Milliseconds kept in sixtieths, so that a 60 Hz retrace is a whole number
// of ticks (1,000 a retrace).
class VirtualClock final : public win32::Clock {
public:
    std::uint32_t milliseconds() override { return static_cast<std::uint32_t>(ticks_ / 60); }
    void sleep(std::uint32_t ms) override { ticks_ += static_cast<std::uint64_t>(ms) * 60; }
    void waitForRetrace() { ticks_ = (ticks_ / 1000 + 1) * 1000; }

private:
    std::uint64_t ticks_ = 0;
};

// The child's state: its log, the pipe it goes back through, the clock.
struct Child {
    std::vector<std::string> log;
    int pipe = -1;
    VirtualClock clock;
    std::int32_t presents = 0;
};

Child* child = nullptr;

void writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written <= 0) {
            return;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

// Sends the log to the parent; also runs at exit(), so that a program that
// ends itself (exit(-1)) still reports what it did.
void flushLog()
{
    if (child == nullptr || child->pipe < 0) {
        return;
    }
    std::string text;
    for (const std::string& line : child->log) {
        text += line;
        text += '\n';
    }
    writeAll(child->pipe, text.data(), text.size());
    ::close(child->pipe);
    child->pipe = -1;
}

void deliver(const ScriptedInput& input)
{
    const HWND window = FindWindowA("demo", nullptr);
    switch (input.kind) {
    case ScriptedInput::Kind::KeyDown:
        win32::postInputMessage(window, WM_KEYDOWN, input.key, win32::keyMessageParameter(input.key, false));
        break;
    case ScriptedInput::Kind::KeyUp:
        win32::postInputMessage(window, WM_KEYUP, input.key, win32::keyMessageParameter(input.key, true));
        break;
    case ScriptedInput::Kind::CloseButton:
        win32::postInputMessage(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    case ScriptedInput::Kind::DestroyWindow:
        DestroyWindow(window);
        break;
    }
}

void onPresent(const HostOptions& options)
{
    child->clock.waitForRetrace();
    ++child->presents;
    for (const ScriptedInput& input : options.input) {
        if (input.afterPresent == child->presents) {
            deliver(input);
        }
    }
    if (child->presents >= options.presentLimit) {
        ScriptedInput escape;
        escape.key = VK_ESCAPE;
        deliver(escape);
    }
}

void installModules(const HostOptions& options)
{
    win32::removeAllModules();
    if (options.withD3d9) {
        win32::installModule("d3d9.dll", {{"Direct3DCreate9", win32::exportEntry(&recording::createDirect3D)}});
    }
    if (options.withD3dx) {
        const FARPROC assembler =
            options.assembler != nullptr ? options.assembler : win32::exportEntry(&D3DXAssembleShader);
        win32::installModule("d3dx9_24.dll", {{"D3DXAssembleShader", assembler}});
    }
    if (options.withUser32) {
        win32::installModule("user32.dll", win32::user32Exports());
    }
}

// What a fresh process starts with, for the process-wide values of the
// program that tests in the parent may have moved.
void restoreProcessStart()
{
    randomSeed = 1;
    currentTexture = -1;
}

[[noreturn]] void runChildBody(const std::function<int()>& body, int pipe)
{
    child = new Child();
    child->pipe = pipe;
    std::atexit(flushLog);
    restoreProcessStart();
    win32::setTraceSink([](const std::string& line) { child->log.push_back(line); });
    const int code = body();
    win32::setTraceSink({});
    child->log.push_back("returned " + std::to_string(code));
    child->log.push_back("live objects " + std::to_string(recording::liveObjectCount()));
    child->log.push_back("live windows " + std::to_string(win32::liveWindowCount()));
    win32::setClock(nullptr);
    recording::configure({});
    std::exit(code); // the process's exit, as the runtime ends it after WinMain
}

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

} // namespace

std::vector<ScriptedInput> escapeAfterTwoFrames()
{
    ScriptedInput escape;
    escape.afterPresent = 3;
    escape.kind = ScriptedInput::Kind::KeyDown;
    escape.key = VK_ESCAPE;
    return {escape};
}

RunResult runInChild(const std::function<int()>& body)
{
    int fds[2];
    RunResult result;
    if (::pipe(fds) != 0) {
        return result;
    }
    std::fflush(nullptr); // nothing buffered may be written twice
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        runChildBody(body, fds[1]);
    }
    ::close(fds[1]);
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fds[0], buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fds[0]);
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    }
    result.log = splitLines(text);
    return result;
}

RunResult runDemo(const HostOptions& options)
{
    return runInChild([&options] {
        installModules(options);
        win32::setClock(&child->clock);
        child->clock.sleep(options.clockStart);
        recording::DeviceOptions device = options.device;
        device.onPresent = [&options] { onPresent(options); };
        recording::configure(device);
        if (options.beforeWinMain) {
            options.beforeWinMain();
        }
        // WinMain ignores its arguments; it asks for the instance itself.
        return WinMain(nullptr, nullptr, const_cast<LPSTR>(""), 1);
    });
}

void createRecordingDevice()
{
    if (d3d9::backendInUse().empty()) {
        recording::configure({});
    }
    direct3d = recording::createDirect3D(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS parameters = {};
    parameters.BackBufferWidth = 1024;
    parameters.BackBufferHeight = 768;
    parameters.BackBufferFormat = D3DFMT_A8R8G8B8;
    parameters.SwapEffect = D3DSWAPEFFECT_COPY;
    parameters.Windowed = TRUE;
    parameters.EnableAutoDepthStencil = TRUE;
    parameters.AutoDepthStencilFormat = D3DFMT_D16;
    direct3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters, &device);
    viewMatrix = allocateZeroed<Mat4>(1);
    projectionMatrix = allocateZeroed<Mat4>(1);
    for (int i = 0; i < 16; i += 5) {
        viewMatrix->e[i] = 1.0f;
        projectionMatrix->e[i] = 1.0f;
    }
}

void releaseRecordingDevice()
{
    device->Release();
    device = nullptr;
    direct3d->Release();
    direct3d = nullptr;
    releaseBlock(viewMatrix);
    releaseBlock(projectionMatrix);
}

std::vector<std::string> sliceLog(const std::vector<std::string>& log, const std::string& from, const std::string& to)
{
    std::vector<std::string> slice;
    const std::int32_t begin = findLine(log, from);
    if (begin < 0) {
        return slice;
    }
    for (std::size_t i = static_cast<std::size_t>(begin); i < log.size(); ++i) {
        slice.push_back(log[i]);
        if (i > static_cast<std::size_t>(begin) && log[i].rfind(to, 0) == 0) {
            break;
        }
    }
    return slice;
}

std::vector<std::string> linesStartingWith(const std::vector<std::string>& log, const std::string& prefix)
{
    std::vector<std::string> lines;
    for (const std::string& line : log) {
        if (line.rfind(prefix, 0) == 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

std::int32_t findLine(const std::vector<std::string>& log, const std::string& prefix, std::size_t start)
{
    for (std::size_t i = start; i < log.size(); ++i) {
        if (log[i].rfind(prefix, 0) == 0) {
            return static_cast<std::int32_t>(i);
        }
    }
    return -1;
}

} // namespace testhost
