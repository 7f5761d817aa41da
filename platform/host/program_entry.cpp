// Linked into the program's module beside the system: its WinMain under a
// plain C name, which the player looks up when it loads the module.
#include "windows.h"

extern "C" __attribute__((visibility("default"))) int demoProgramEntry(HINSTANCE instance, HINSTANCE previous,
                                                                        LPSTR commandLine, int show)
{
    return WinMain(instance, previous, commandLine, show);
}
