// Test support: runs the program's own WinMain in a child process on a
// headless window host with the recording device, and hands back its exit
// code and the log of every Win32, D3DX and Direct3D call it made.
//
// The child is a fresh copy of the test process, so the program's
// process-wide state starts as it would at a real start (texture cache,
// random seed) and exit(-1) ends only the child. Time is virtual: it moves
// only by Sleep and by Present, which waits for the next retrace of a 60 Hz
// display, so every run is the same run.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/recording_device.hpp"
#include "windows.h"

namespace testhost {

// Input the host delivers after a given number of presented frames (the
// program's blank start-up frame is number 1).
struct ScriptedInput {
    enum class Kind { KeyDown, KeyUp, CloseButton, DestroyWindow };
    std::int32_t afterPresent = 0;
    Kind kind = Kind::KeyDown;
    UINT key = 0; // virtual-key code of a key event
};

// Escape pressed after the second frame of the loop.
std::vector<ScriptedInput> escapeAfterTwoFrames();

struct HostOptions {
    bool withD3d9 = true;   // "d3d9.dll" installed
    bool withD3dx = true;   // "d3dx9_24.dll" installed
    bool withUser32 = true; // "user32.dll" installed
    FARPROC assembler = nullptr; // "d3dx9_24.dll"'s D3DXAssembleShader: the real one when NULL
    recording::DeviceOptions device;
    std::vector<ScriptedInput> input = escapeAfterTwoFrames();
    std::int32_t presentLimit = 600;    // Escape is sent after this many, whatever the script says
    std::uint32_t clockStart = 0;       // timeGetTime at the start (to test its wrap)
    std::function<void()> beforeWinMain; // runs in the child, before WinMain
};

struct RunResult {
    int exitCode = -1000;          // the child's exit status (0 to 255), or -1000 if it did not exit
    std::vector<std::string> log;  // one call a line, in order; then the host's closing lines
};

RunResult runDemo(const HostOptions& options);
// Runs body in a child process with its calls logged; its result is the
// child's exit code. The log ends with "returned N", "live objects N" and
// "live windows N".
RunResult runInChild(const std::function<int()>& body);

// For a child that drives the renderer directly: a windowed recording device
// in `device` (and its Direct3D object in `direct3d`), identity view and
// projection matrices; and their release.
void createRecordingDevice();
void releaseRecordingDevice();

// Lines of log from the first that starts with `from` up to and including
// the first one after it that starts with `to`.
std::vector<std::string> sliceLog(const std::vector<std::string>& log, const std::string& from, const std::string& to);
// Lines that start with prefix, in order.
std::vector<std::string> linesStartingWith(const std::vector<std::string>& log, const std::string& prefix);
// Index of the first line starting with prefix at or after start; -1 if none.
std::int32_t findLine(const std::vector<std::string>& log, const std::string& prefix, std::size_t start = 0);

} // namespace testhost
