// Frame figures for the player: wall time between presents, and CPU time a
// frame, of the program's thread (the system's own code and the device
// calls it makes) and of the whole process (the device's worker threads and
// the driver's too). Printed on stderr at the end when asked for.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

namespace sdlhost {

class FrameStats {
public:
    FrameStats();
    // At every present.
    void markFrame();
    void print(std::FILE* out) const;

private:
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
