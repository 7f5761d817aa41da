// Frame figures for the player: wall time between presents, and CPU time a
// frame, of the program's thread (the system's own code and the device
// calls it makes) and of the whole process (the device's worker threads and
// the driver's too), and the sizes the frames were drawn at. Printed on
// stderr at the end when asked for.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

namespace sdlhost {

class FrameStats {
public:
    FrameStats();
    // At every present, with the size the frame was drawn at; true when
    // that size differs from the last frame's (or it is the first).
    bool markFrame(std::int32_t width, std::int32_t height);
    void print(std::FILE* out) const;

private:
    struct SizeRun {
        std::int32_t width, height;
        std::size_t frames;
    };
    std::vector<SizeRun> sizes_;
    std::vector<double> frameMs_;
    double lastWallMs_ = 0.0;
    double startThreadCpuMs_ = 0.0;
    double startProcessCpuMs_ = 0.0;
    double firstWallMs_ = 0.0;
    double firstThreadCpuMs_ = 0.0;
    double firstProcessCpuMs_ = 0.0;
    double endWallMs_ = 0.0;
    double endThreadCpuMs_ = 0.0;
    double endProcessCpuMs_ = 0.0;
};

} // namespace sdlhost
