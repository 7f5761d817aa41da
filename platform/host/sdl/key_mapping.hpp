// SDL key codes as the Windows virtual-key codes the program's window
// procedure receives in WM_KEYDOWN and WM_KEYUP.
#pragma once

#include <SDL.h>

namespace sdlhost {

// The virtual-key code of an SDL key, or 0 for a key with none here.
unsigned virtualKeyOf(SDL_Keycode key);

} // namespace sdlhost
