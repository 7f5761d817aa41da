// Where the player's screenshots go, and how they are written.
#pragma once

#include <cstdint>
#include <string>

namespace sdlhost {

// The user's pictures folder (XDG_PICTURES_DIR, from the environment or
// user-dirs.dirs, else ~/Pictures) where it exists, else the working
// folder; the file named for the demo's time, never over another file.
std::string screenshotPath(std::int32_t elapsedMs);

// A8R8G8B8 words, row 0 on top, as an RGB PNG; false when it cannot be
// written.
bool writeScreenshot(const std::string& path, const std::uint32_t* pixels, std::int32_t width, std::int32_t height);

} // namespace sdlhost
